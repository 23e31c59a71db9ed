#include "flow/OOOFinder.h"

#include "flow/SegmentRow.h"

namespace korvo::measurement {

std::uint64_t OOOFinder::findOutOfOrder(const SequenceEvaluator& flow, std::size_t side, DetailText& out,
                                        std::vector<std::int64_t>* times) const {
    // The first captured segment is never out of order.
    if (flow.packets(side) < 2) {
        return 0;
    }
    std::uint64_t outOfOrder = 0;
    bool first = true;
    std::int64_t furthest = 0;
    flow.walkDirection(side, [&](const PlacedSegment& placed) {
        if (first) {
            first = false;
            furthest = placed.position;
            return;
        }
        if (placed.position >= furthest) {
            furthest = placed.position;
            return;
        }
        const SegmentRecord& segment = placed.segment;
        if (segment.segmentLength == 0 || placed.keepAliveOrProbe) {
            return;
        }
        ++outOfOrder;
        if (writeDetails_) {
            SegmentRow::append(segment, out);
        }
        if (times != nullptr) {
            times->push_back(segment.captureMicros());
        }
    });
    return outOfOrder;
}

}  // namespace korvo::measurement
