#include "flow/OOOFinder.h"

#include "flow/SegmentRow.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

std::uint64_t OOOFinder::findOutOfOrder(const SegmentList& bySequence, const SegmentList& byCapture,
                                        DetailText& out) const {
    // The first captured segment is never out of order.
    if (bySequence.empty() || byCapture.size() < 2) {
        return 0;
    }
    const std::uint32_t origin = bySequence[0].sequenceNumber - SequenceEvaluator::kOrderingMargin;
    std::uint64_t outOfOrder = 0;
    auto segment = byCapture.begin();
    std::uint32_t furthest = segment->sequenceNumber - origin;
    for (++segment; segment != byCapture.end(); ++segment) {
        const std::uint32_t distance = segment->sequenceNumber - origin;
        if (distance < furthest) {
            ++outOfOrder;
            if (writeDetails_) {
                SegmentRow::append(*segment, out);
            }
        } else {
            furthest = distance;
        }
    }
    return outOfOrder;
}

}  // namespace korvo::measurement
