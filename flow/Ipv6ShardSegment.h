#pragma once
// A TCP segment over IPv6 as the flow table keeps it until the flows are handed out: the record, the numbers
// that an address table gave its addresses, its ports and its order key, 44 bytes. Kept and sorted like the
// IPv4 segments, by the order key of its own flow hash, in shards of their own that are handed out after all
// IPv4 flows.

#include <cstdint>

#include "capture/Ipv6FlowTuple.h"
#include "flow/Ipv6AddressTable.h"
#include "flow/SegmentEnds.h"
#include "flow/SegmentRecord.h"

namespace korvo::measurement {

struct Ipv6ShardSegment {
    SegmentRecord record;
    // The addresses are numbers in the run's address table.
    SegmentEnds ends;
    // The order key of the segment's tuple, taken while its addresses were at hand.
    std::uint32_t key = 0;

    [[nodiscard]] Ipv6FlowTuple tuple(const Ipv6AddressTable& addresses) const {
        Ipv6FlowTuple tuple;
        tuple.sourceAddress = addresses.address(ends.sourceAddress);
        tuple.destinationAddress = addresses.address(ends.destinationAddress);
        tuple.sourcePort = ends.sourcePort;
        tuple.destinationPort = ends.destinationPort;
        return tuple;
    }

    [[nodiscard]] std::uint32_t orderKey() const { return key; }
};

static_assert(sizeof(Ipv6ShardSegment) == 44);

}  // namespace korvo::measurement
