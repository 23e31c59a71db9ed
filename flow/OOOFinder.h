#pragma once
// Finds the out-of-order segments of one direction: segments captured after a segment that lies further
// along, by unwrapped sequence position. A retransmission counts just like a reordered segment.

#include <cstdint>
#include <span>

#include "flow/SegmentList.h"
#include "report/DetailText.h"

namespace korvo::measurement {

class OOOFinder {
public:
    explicit OOOFinder(bool writeDetails) : writeDetails_(writeDetails) {}

    // The number of out-of-order segments; with details on, one segment row each, in capture order.
    // `positions` are the direction's unwrapped sequence positions, by place in capture order.
    std::uint64_t findOutOfOrder(const SegmentList& byCapture, std::span<const std::int64_t> positions,
                                 DetailText& out) const;

private:
    bool writeDetails_;
};

}  // namespace korvo::measurement
