#pragma once
// Cuts the IP packet of an Ethernet frame into fragments, as a router on a path with a smaller MTU does with
// the outer packets of a tunnel: IPv4 by its fragment fields, IPv6 with a fragment header.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvo::tools {

class IpFragmenter {
public:
    using Frame = std::vector<std::uint8_t>;

    // The frame's IPv4 or IPv6 packet, right behind its 14-byte Ethernet header, as fragments of at most
    // `payloadBytes` (a multiple of 8) of its payload each, each in an Ethernet frame with the same header,
    // in order; the frame alone where it carries neither.
    [[nodiscard]] static std::vector<Frame> fragment(const Frame& frame, std::size_t payloadBytes,
                                                     std::uint32_t identification);
};

}  // namespace korvo::tools
