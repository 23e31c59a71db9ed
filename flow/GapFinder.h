#pragma once
// Finds holes in one direction's sequence space: walking the segments in sequence order, every segment that
// starts beyond the furthest end reached so far opens a hole. A segment reaches as far as the sequence space
// it occupies, and positions are unwrapped, so a direction that crosses 2^32 opens no false hole.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "figure/DetailText.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

class GapFinder {
public:
    explicit GapFinder(bool writeDetails) : writeDetails_(writeDetails) {}

    // The number of holes in direction `side` of `flow`; with details on, one row per hole is appended to
    // `out` in the order found. Where `times` is given, the capture time of the first segment after each
    // hole is appended to it.
    std::uint64_t findGaps(const SequenceEvaluator& flow, std::size_t side, DetailText& out,
                           std::vector<std::int64_t>* times = nullptr) const;
    // "PreGapPacketID,..,Capture Time,..,Sequence Number,..,PostGapPacketID,..,Capture Time,..,Sequence
    // Number,..,Gap Size,.." for the segment that reached furthest before the hole and the first after it;
    // `gapSize` is the number of sequence numbers missing between them.
    static void describeGap(const SegmentRecord& before, const SegmentRecord& after, std::uint64_t gapSize,
                            DetailText& out);

private:
    bool writeDetails_;
};

}  // namespace korvo::measurement
