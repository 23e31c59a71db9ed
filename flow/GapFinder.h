#pragma once
// Finds holes in one direction's sequence space: walking the segments in sequence order, every segment that
// starts beyond the furthest end reached so far opens a hole. Ends count the TCP header too, so a hole shows
// only when more sequence numbers are missing than the header is long.

#include <cstdint>
#include <string>

#include "flow/SegmentList.h"
#include "measurement/DetailText.h"

namespace korvo::measurement {

class GapFinder {
public:
    explicit GapFinder(bool writeDetails) : writeDetails_(writeDetails) {}

    // The number of holes; with details on, one row per hole is appended to `out` in the order found.
    // Comparisons are of raw 32-bit values, not wrap-aware.
    std::uint64_t findGaps(const SegmentList& bySequence, DetailText& out) const;
    // "PreGapPacketID,..,Capture Time,..,Sequence Number,..,PostGapPacketID,..,Capture Time,..,Sequence
    // Number,..,Gap Size,.." for the segment that reached furthest before the hole and the first after it.
    static void describeGap(const SegmentRecord& before, const SegmentRecord& after, DetailText& out);

private:
    bool writeDetails_;
};

}  // namespace korvo::measurement
