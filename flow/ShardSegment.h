#pragma once
// A TCP segment as the flow table keeps it until the flows are handed out: the record and the addresses and
// ports of its packet, 40 bytes. Segments carry their flow with them instead of pointing into a per-flow
// table, so that a flow costs nothing beyond its segments, and sorting segments by their order key brings
// each flow's segments together, with the flows that share their flow hash.

#include <cstdint>

#include "capture/FlowTuple.h"
#include "flow/SegmentEnds.h"
#include "flow/SegmentRecord.h"
#include "flow/ShardRule.h"

namespace korvo::measurement {

struct ShardSegment {
    SegmentRecord record;
    SegmentEnds ends;

    // The tuple of this segment's packet; every segment kept is TCP.
    [[nodiscard]] FlowTuple tuple() const {
        FlowTuple tuple;
        tuple.sourceAddress = ends.sourceAddress;
        tuple.destinationAddress = ends.destinationAddress;
        tuple.protocol = net::ip::kProtocolTcp;
        tuple.sourcePort = ends.sourcePort;
        tuple.destinationPort = ends.destinationPort;
        return tuple;
    }

    // Hand-out order puts flows by signed flow hash first: this is that hash made unsigned so that it sorts
    // the same way.
    [[nodiscard]] std::uint32_t orderKey() const { return ShardRule::orderKey(tuple()); }
};

static_assert(sizeof(ShardSegment) == 40);

}  // namespace korvo::measurement
