#pragma once
// Walks the extension headers of a captured IPv6 packet up to its transport header: hop-by-hop, routing,
// destination options, fragment, authentication and every other header of the common next-header/length
// layout, at most kMostHeaders of them. The walk reads nothing at or beyond the captured bytes; a chain that
// leaves them, or is longer, ends it without a transport header.

#include <cstdint>

namespace korvo::measurement {

class Ipv6HeaderChain {
public:
    static constexpr unsigned kMostHeaders = 8;

    struct Walk {
        // Whether the walk reached the transport header (or the end of the chain), and which protocol that
        // is.
        bool reached = false;
        std::uint8_t transportProtocol = 0;
        // Where the transport header starts, from the IPv6 header's first byte; for a fragment, where its
        // fragment header starts.
        std::uint32_t transportOffset = 0;
        // A fragment header makes the packet a piece of a larger datagram (an atomic fragment, offset 0 with
        // more-fragments clear, does not); the walk stops there.
        bool fragment = false;
        // The hop-by-hop header's jumbo payload length; 0 when it has none.
        std::uint32_t jumboPayloadLength = 0;
    };

    // `packet` is the IPv6 header's first byte, of which `capturedLength` bytes (at least the fixed header)
    // were captured.
    [[nodiscard]] static Walk walk(const unsigned char* packet, std::uint32_t capturedLength);

private:
    // The jumbo payload option's value among the hop-by-hop options in [options, end); 0 when absent.
    [[nodiscard]] static std::uint32_t jumboPayloadLength(const unsigned char* options,
                                                          const unsigned char* end);
};

}  // namespace korvo::measurement
