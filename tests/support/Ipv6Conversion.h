#pragma once
// Rewrites an Ethernet frame that carries unfragmented IPv4 TCP (behind at most one 802.1Q tag) as the same
// segment in two forms of equal length: over IPv4 with 20 bytes of header options, and over IPv6 between
// the IPv4-mapped addresses (::ffff:a.b.c.d) with no extension header. Both keep the frame's captured share
// and its wire length grows by 20 bytes. Any other frame is returned as it is, in both forms.

#include <cstdint>
#include <vector>

namespace korvo::e2e {

class Ipv6Conversion {
public:
    struct Frame {
        std::vector<std::uint8_t> captured;
        std::uint32_t wireLength = 0;
    };

    [[nodiscard]] static Frame withIpv4Options(const Frame& frame);
    [[nodiscard]] static Frame overIpv6(const Frame& frame);
};

}  // namespace korvo::e2e
