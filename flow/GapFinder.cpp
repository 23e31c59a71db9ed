#include "flow/GapFinder.h"

#include "measurement/DetailRow.h"

namespace korvo::measurement {

std::uint64_t GapFinder::findGaps(const SegmentList& bySequence, DetailText& out) const {
    // One segment opens no hole; returning before reading it spares a memory access per flow of a scan.
    if (bySequence.size() < 2) {
        return 0;
    }
    std::uint64_t gaps = 0;
    auto segment = bySequence.begin();
    const SegmentRecord* reference = &*segment;
    std::uint32_t coveredEnd = reference->sequenceNumber + reference->segmentLength;
    for (++segment; segment != bySequence.end(); ++segment) {
        const std::uint32_t end = segment->sequenceNumber + segment->segmentLength;
        if (segment->sequenceNumber > coveredEnd) {
            ++gaps;
            if (writeDetails_) {
                describeGap(*reference, *segment, out);
            }
        } else if (end <= coveredEnd) {
            continue;
        }
        reference = &*segment;
        coveredEnd = end;
    }
    return gaps;
}

void GapFinder::describeGap(const SegmentRecord& before, const SegmentRecord& after, DetailText& out) {
    const std::uint32_t gapSize = after.sequenceNumber - before.sequenceNumber - before.segmentLength;
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
