#pragma once
// The two ends of a kept segment's packet: addresses (IPv4 addresses, or the numbers an address table gave
// IPv6 ones) and ports, as they stand in the packet. Tells segments of one flow and direction apart while
// the flows are assembled.

#include <algorithm>
#include <compare>
#include <cstdint>

namespace korvo::measurement {

struct SegmentEnds {
    std::uint32_t sourceAddress = 0;
    std::uint32_t destinationAddress = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;

    friend bool operator==(const SegmentEnds&, const SegmentEnds&) = default;

    // Both endpoints, the lower first: the same for both directions of a conversation.
    struct Endpoints {
        std::uint64_t lower;
        std::uint64_t upper;
        friend auto operator<=>(const Endpoints&, const Endpoints&) = default;
    };
    [[nodiscard]] Endpoints endpoints() const {
        const std::uint64_t source = (std::uint64_t{sourceAddress} << 16) | sourcePort;
        const std::uint64_t destination = (std::uint64_t{destinationAddress} << 16) | destinationPort;
        return {std::min(source, destination), std::max(source, destination)};
    }
};

static_assert(sizeof(SegmentEnds) == 12);

}  // namespace korvo::measurement
