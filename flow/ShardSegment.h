#pragma once
// A TCP segment as the flow table keeps it until the flows are handed out: the record and the addresses and
// ports of its packet, 40 bytes. Segments carry their flow with them instead of pointing into a per-flow
// table, so that a flow costs nothing beyond its segments, and sorting segments by their order key brings
// each flow's segments together, with the flows that share their flow hash.

#include <algorithm>
#include <cstdint>

#include "capture/FlowTuple.h"
#include "flow/SegmentRecord.h"
#include "flow/ShardRule.h"

namespace korvo::measurement {

struct ShardSegment {
    SegmentRecord record;
    std::uint32_t sourceAddress = 0;
    std::uint32_t destinationAddress = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;

    // The tuple of this segment's packet; every segment kept is TCP.
    [[nodiscard]] FlowTuple tuple() const {
        FlowTuple tuple;
        tuple.sourceAddress = sourceAddress;
        tuple.destinationAddress = destinationAddress;
        tuple.protocol = net::ip::kProtocolTcp;
        tuple.sourcePort = sourcePort;
        tuple.destinationPort = destinationPort;
        return tuple;
    }
    // Whether this segment travels in the direction of `other`.
    [[nodiscard]] bool travelsAs(const ShardSegment& other) const {
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

    // Hand-out order puts flows by signed flow hash first: this is that hash made unsigned so that it sorts
    // the same way.
    [[nodiscard]] std::uint32_t orderKey() const { return ShardRule::orderKey(tuple()); }
};

static_assert(sizeof(ShardSegment) == 40);

}  // namespace korvo::measurement
