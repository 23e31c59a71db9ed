#pragma once
// Wraps an Ethernet frame in one encapsulation, the way a tunnel, a tap or a mirroring session delivers it:
// the result is again an Ethernet frame, so that wraps nest. Kinds that carry an IP packet take the frame's
// IPv4 or IPv6 packet from behind its link header and tags, and leave any other frame as it is; kinds that
// carry Ethernet take the whole frame. A frame captured short stays short by the same number of bytes, and
// the length fields of the added headers follow its wire length.

#include <cstdint>
#include <string>
#include <vector>

namespace korvo::tools {

class Encapsulator {
public:
    enum class Kind : std::uint8_t {
        StackedVlan,
        Mpls,
        MplsPseudowire,
        Pppoe,
        Backbone,
        LlcSnap,
        Gre,
        GreEthernet,
        Erspan2,
        Erspan3,
        IpInIp,
        Vxlan,
        Geneve,
        GtpUser,
        PppoeCompressed,
        GreInUdp,
        VxlanGpe,
        Ayiya,
        Capwap,
        Gre80211,
        FabricPath
    };

    struct Frame {
        std::vector<std::uint8_t> captured;
        std::uint32_t wireLength = 0;
    };

    // Every kind, in declaration order, and the name each goes by.
    [[nodiscard]] static const std::vector<Kind>& kinds();
    [[nodiscard]] static std::string nameOf(Kind kind);

    [[nodiscard]] static Frame wrap(Kind kind, const Frame& frame);
};

}  // namespace korvo::tools
