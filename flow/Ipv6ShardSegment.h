#pragma once
// A TCP segment over IPv6 as the flow table keeps it until the flows are handed out: the record, the numbers
// that an address table gave its addresses, its ports and its order key, 44 bytes. Kept and sorted like the
// IPv4 segments, by the order key of its own flow hash, in shards of their own that are handed out after all
// IPv4 flows.

#include <algorithm>
#include <cstdint>

#include "capture/Ipv6FlowTuple.h"
#include "flow/Ipv6AddressTable.h"
#include "flow/SegmentRecord.h"

namespace korvo::measurement {

struct Ipv6ShardSegment {
    SegmentRecord record;
    std::uint32_t sourceAddress = 0;
    std::uint32_t destinationAddress = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    // The order key of the segment's tuple, taken while its addresses were at hand.
    std::uint32_t key = 0;

    [[nodiscard]] Ipv6FlowTuple tuple(const Ipv6AddressTable& addresses) const {
        Ipv6FlowTuple tuple;
        tuple.sourceAddress = addresses.address(sourceAddress);
        tuple.destinationAddress = addresses.address(destinationAddress);
        tuple.sourcePort = sourcePort;
        tuple.destinationPort = destinationPort;
        return tuple;
    }
    // Whether this segment travels in the direction of `other`.
    [[nodiscard]] bool travelsAs(const Ipv6ShardSegment& other) const {
        return sourceAddress == other.sourceAddress && destinationAddress == other.destinationAddress &&
               sourcePort == other.sourcePort && destinationPort == other.destinationPort;
    }

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

    [[nodiscard]] std::uint32_t orderKey() const { return key; }
};

static_assert(sizeof(Ipv6ShardSegment) == 44);

}  // namespace korvo::measurement
