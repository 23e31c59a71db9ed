#pragma once
// A segment of a flow too large to arrange in memory, as its temporary files keep it: the record with its
// place in its direction's capture order, its unwrapped sequence position and its marks.

#include <cstdint>

#include "flow/PlacedSegment.h"
#include "flow/SegmentRecord.h"

namespace korvo::measurement {

struct SpilledSegment {
    enum Mark : std::uint64_t { kStartsConnection = 1, kKeepAliveOrProbe = 2 };

    SegmentRecord record;
    std::uint32_t place = 0;
    std::int64_t position = 0;
    // A set of Mark values, in 64 bits so that the segment has no padding to write out.
    std::uint64_t marks = 0;

    [[nodiscard]] PlacedSegment placed() const {
        return {record, place, position, (marks & kStartsConnection) != 0, (marks & kKeepAliveOrProbe) != 0};
    }
};

static_assert(sizeof(SpilledSegment) == 48);

}  // namespace korvo::measurement
