#include "flow/GapFinder.h"

#include "figure/DetailRow.h"

namespace korvo::measurement {

std::uint64_t GapFinder::findGaps(const SequenceEvaluator& flow, std::size_t side, DetailText& out,
                                  std::vector<std::int64_t>* times) const {
    // One segment opens no hole; returning before reading it spares a memory access per flow of a scan.
    if (flow.packets(side) < 2) {
        return 0;
    }
    std::uint64_t gaps = 0;
    bool first = true;
    // The segment that reached furthest so far, kept by value: a spilled flow's walk reuses its buffers.
    SegmentRecord reference;
    std::int64_t coveredEnd = 0;
    flow.walkSequence(side, [&](const PlacedSegment& placed) {
        const SegmentRecord& segment = placed.segment;
        const std::int64_t start = placed.position;
        const std::int64_t end = start + segment.segmentLength;
        if (first) {
            first = false;
        } else if (start > coveredEnd) {
            ++gaps;
            if (writeDetails_) {
                describeGap(reference, segment, static_cast<std::uint64_t>(start - coveredEnd), out);
            }
            if (times != nullptr) {
                times->push_back(segment.captureMicros());
            }
        } else if (end <= coveredEnd) {
            return;
        }
        reference = segment;
        coveredEnd = end;
    });
    return gaps;
}

void GapFinder::describeGap(const SegmentRecord& before, const SegmentRecord& after, std::uint64_t gapSize,
                            DetailText& out) {
    DetailRow(out)
        .text("PreGapPacketID,")
        .number(before.packetNumber())
        .text(",Capture Time,")
        .time(before.captureTime())
        .text(",Sequence Number,")
        .number(before.sequenceNumber)
        .text(",PostGapPacketID,")
        .number(after.packetNumber())
        .text(",Capture Time,")
        .time(after.captureTime())
        .text(",Sequence Number,")
        .number(after.sequenceNumber)
        .text(",Gap Size,")
        .number(gapSize)
        .end();
}

}  // namespace korvo::measurement
