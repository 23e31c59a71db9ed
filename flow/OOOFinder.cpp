#include "flow/OOOFinder.h"

#include "flow/MarkedPlaces.h"
#include "flow/SegmentRow.h"

namespace korvo::measurement {

std::uint64_t OOOFinder::findOutOfOrder(const SequenceEvaluator::Direction& direction, DetailText& out,
                                        std::vector<std::int64_t>* times) const {
    const SegmentList& byCapture = direction.byCapture;
    const std::span<const std::int64_t> positions = direction.positions;
    // The first captured segment is never out of order.
    if (byCapture.size() < 2) {
        return 0;
    }
    std::uint64_t outOfOrder = 0;
    auto segment = byCapture.begin();
    std::int64_t furthest = positions[segment.index()];
    MarkedPlaces exempt(direction.keepAlivesAndProbes);
    for (++segment; segment != byCapture.end(); ++segment) {
        const std::int64_t position = positions[segment.index()];
        if (position < furthest) {
            if (segment->segmentLength == 0 || exempt.holds(segment.index())) {
                continue;
            }
            ++outOfOrder;
            if (writeDetails_) {
                SegmentRow::append(*segment, out);
            }
            if (times != nullptr) {
                times->push_back(segment->captureMicros());
            }
        } else {
            furthest = position;
        }
    }
    return outOfOrder;
}

}  // namespace korvo::measurement
