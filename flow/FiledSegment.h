#pragma once
// A segment as the flow table files it while the capture is read: the record and the flow and direction it
// belongs to (flow number times two, plus one for the reverse direction). 28 bytes.

#include <cstdint>

#include "flow/SegmentRecord.h"

namespace korvo::measurement {

struct FiledSegment {
    SegmentRecord record;
    std::uint32_t flowDirection = 0;
};

static_assert(sizeof(FiledSegment) == 28);

}  // namespace korvo::measurement
