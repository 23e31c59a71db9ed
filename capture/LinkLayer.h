#pragma once
// Where the IP header of a frame lies for the capture's link type (Ethernet, Linux cooked v1 and v2, raw IP,
// IPv6, BSD loopback, PPP, Cisco HDLC, FDDI, IEEE 802.11 bare or behind radiotap or PPI, NFLOG), and whether
// it is IPv4 or IPv6. A frame inside an encapsulation (stacked VLAN tags,
// MPLS, PPPoE, 802.1ah, LLC/SNAP) is not lifted here: it is recognised, so that the coverage note can count
// it, and the tunnel decoder starts from the frame's first EtherType. Other link types are not decoded.

#include <cstdint>

namespace korvo::measurement {

class LinkLayer {
public:
    // Libpcap's DLT_EN10MB.
    static constexpr int kEthernet = 1;
    // Raw IP under the numbers that <pcap/dlt.h> does not give it on this system: as capture files number it
    // (libpcap's LINKTYPE_RAW, which it reads as DLT_RAW), and as BSD/OS numbers it (DLT_RAW there).
    static constexpr int kLinktypeRaw = 101;
    static constexpr int kBsdOsRaw = 14;

    // Unreadable: an encrypted 802.11 body, or an 802.11 fragment of one. CutShort: a frame of the link types
    // that carry their packet behind a header of their own (PPP, Cisco HDLC, FDDI, 802.11, radiotap, PPI,
    // NFLOG) captured too short for it.
    enum class Carried : std::uint8_t { IPv4, IPv6, Encapsulated, Other, Unreadable, CutShort };

    struct Found {
        Carried carried;
        // Meaningful for IPv4 and IPv6 only: the IP header's first byte, from the frame's first byte.
        std::uint32_t ipOffset;
    };

    // The first protocol behind the link header: an EtherType (802.3 lengths, below 0x0600, announce an LLC
    // header), or 0x0800 or 0x86DD for the link types that carry IP directly. Unknown when the frame is too
    // short for its link header or names no protocol.
    struct Start {
        bool known = false;
        std::uint16_t type = 0;
        std::uint32_t offset = 0;
    };

    explicit LinkLayer(int linkType = kEthernet);

    // Whether frames of this link type can be lifted to IP at all, when IPv6 is analysed or not.
    [[nodiscard]] static bool decodes(int linkType, bool ipv6);

    // Reads nothing at or beyond `capturedLength`.
    [[nodiscard]] Found find(const unsigned char* frame, std::uint32_t capturedLength) const {
        // Untagged IPv4 over Ethernet is by far the commonest frame: decided here, without a call.
        if (framing_ == Framing::Ethernet && capturedLength >= kEthernetLength &&
            frame[kEthernetTypeOffset] == 0x08 && frame[kEthernetTypeOffset + 1] == 0x00) {
            return {Carried::IPv4, kEthernetLength};
        }
        return findAny(frame, capturedLength);
    }

    // Reads nothing at or beyond `capturedLength`.
    [[nodiscard]] Start start(const unsigned char* frame, std::uint32_t capturedLength) const;

private:
    static constexpr std::uint32_t kEthernetTypeOffset = 12;
    static constexpr std::uint32_t kEthernetLength = 14;

    enum class Framing : std::uint8_t {
        Ethernet,
        Cooked,
        Cooked2,
        Raw,
        IPv4Only,
        IPv6Only,
        Null,
        Loop,
        Ppp,
        PppSerial,
        CiscoHdlc,
        Fddi,
        Ieee80211,
        Radiotap,
        Ppi,
        Nflog,
        None
    };

    // Where the packet of a frame of the link types with a header of their own lies: where the header names
    // one, its EtherType (0x0800 and 0x86DD where the header names IP otherwise) and offset; else why there
    // is none (Other, Unreadable or CutShort).
    struct Behind {
        bool named = false;
        Carried carried = Carried::Other;
        std::uint16_t type = 0;
        std::uint32_t offset = 0;
    };
    [[nodiscard]] Behind behindOwnHeader(const unsigned char* frame, std::uint32_t capturedLength) const;

    [[nodiscard]] Found findAny(const unsigned char* frame, std::uint32_t capturedLength) const;
    // What a frame carries under the EtherType `type`, its payload starting at `at`.
    [[nodiscard]] static Found byType(std::uint16_t type, const unsigned char* frame,
                                      std::uint32_t capturedLength, std::uint32_t at);
    // Frames that begin with a link header naming an EtherType, optionally followed by one 802.1Q tag.
    [[nodiscard]] static Found typed(const unsigned char* frame, std::uint32_t capturedLength,
                                     std::uint32_t typeOffset, std::uint32_t headerLength);
    [[nodiscard]] static Found addressFamily(std::uint32_t family);

    Framing framing_;
};

}  // namespace korvo::measurement
