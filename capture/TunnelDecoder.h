#pragma once
// Follows a frame through its encapsulations to the innermost IP packet: stacked VLAN tags, MPLS label
// stacks, PPPoE sessions, 802.1ah backbone headers, FabricPath, LLC/SNAP, GRE (ERSPAN types I to III and
// 802.11 included), IP in IP, IPv6 in IPv4, and VXLAN, VXLAN-GPE, Geneve, GTP-U, GRE, AYIYA and CAPWAP data
// over UDP. At most kMostEncapsulations are followed; a frame
// that holds more, or is cut inside one before the next header, is damaged, and the path ends at the last
// IP packet reached. Nothing at or beyond the captured bytes is read.

#include <cstdint>

#include "capture/LinkLayer.h"

namespace korvo::measurement {

class TunnelDecoder {
public:
    static constexpr unsigned kMostEncapsulations = 8;
    static constexpr unsigned kMostStackedTags = 4;

    enum class Version : std::uint8_t { None, IPv4, IPv6 };

    // An IP packet on the way: its version and where its header starts, from the frame's first byte. The
    // whole fixed header was captured.
    struct IpAt {
        Version version = Version::None;
        std::uint32_t offset = 0;

        friend bool operator==(const IpAt&, const IpAt&) = default;
    };

    struct Path {
        // The first IP packet behind the link header (the one on the wire) and the last one reached.
        IpAt outermost;
        IpAt innermost;
        // Encapsulations followed, a single 802.1Q tag right behind the link header not counted.
        unsigned encapsulations = 0;
        // Whether any of them is a tunnel rather than a VLAN tag.
        bool tunnelled = false;
        bool damaged = false;
        // Whether the path ended at an IP header whose version contradicts what announced it.
        bool malformed = false;
    };

    [[nodiscard]] static Path follow(const unsigned char* frame, std::uint32_t capturedLength,
                                     LinkLayer::Start start);

    // Whether the frame's first IP packet, as `found` places it, ends the path at once: an IPv4 TCP segment
    // or fragment, for which follow() gives that packet as both outermost and innermost and nothing damaged.
    [[nodiscard]] static bool endsAtFirstPacket(const unsigned char* frame, std::uint32_t capturedLength,
                                                const LinkLayer::Found& found);

    // Whether an IP packet's payload opens an encapsulation that follow() enters: `protocol` is the IP
    // protocol, `payload` its first byte, of which `capturedLength` bytes were captured.
    [[nodiscard]] static bool opensTunnel(std::uint8_t protocol, const unsigned char* payload,
                                          std::uint32_t capturedLength);
    // Whether the EtherType `type` right behind a link header opens an encapsulation that follow() enters:
    // a tag, MPLS, a PPPoE session, 802.1ah, FabricPath, or an 802.3 length with LLC/SNAP of the EtherType
    // space at `payload`, of which `capturedLength` bytes were captured.
    [[nodiscard]] static bool opensEncapsulation(std::uint16_t type, const unsigned char* payload,
                                                 std::uint32_t capturedLength);
    // Whether an EtherType is that of a VLAN tag (802.1Q, 802.1ad, or the older 0x9100).
    [[nodiscard]] static bool isTag(std::uint16_t type);
};

}  // namespace korvo::measurement
