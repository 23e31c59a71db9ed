#pragma once
// Finds the out-of-order segments of one direction: segments captured after a segment that lies further
// along, distances measured from kOrderingMargin below the first segment in sequence order. A
// retransmission counts just like a reordered segment.

#include <cstdint>
#include <string>

#include "flow/SegmentList.h"
#include "measurement/DetailText.h"

namespace korvo::measurement {

class OOOFinder {
public:
    explicit OOOFinder(bool writeDetails) : writeDetails_(writeDetails) {}

    // The number of out-of-order segments; with details on, one segment row each, in capture order.
    std::uint64_t findOutOfOrder(const SegmentList& bySequence, const SegmentList& byCapture,
                                 DetailText& out) const;

private:
    bool writeDetails_;
};

}  // namespace korvo::measurement
