#include "flow/OOOFinder.h"

#include "flow/SegmentRow.h"

namespace korvo::measurement {

std::uint64_t OOOFinder::findOutOfOrder(const SegmentList& byCapture, std::span<const std::int64_t> positions,
                                        DetailText& out, std::vector<std::int64_t>* times) const {
    // The first captured segment is never out of order.
    if (byCapture.size() < 2) {
        return 0;
    }
    std::uint64_t outOfOrder = 0;
    auto segment = byCapture.begin();
    std::int64_t furthest = positions[segment.index()];
    for (++segment; segment != byCapture.end(); ++segment) {
        const std::int64_t position = positions[segment.index()];
        if (position < furthest) {
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
