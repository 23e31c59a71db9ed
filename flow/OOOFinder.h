#pragma once
// Finds the out-of-order segments of one direction: segments captured after a segment that lies further
// along, by unwrapped sequence position. A retransmission counts just like a reordered segment.

#include <cstdint>
#include <span>
#include <vector>

#include "flow/SegmentList.h"
#include "report/DetailText.h"

namespace korvo::measurement {

class OOOFinder {
public:
    explicit OOOFinder(bool writeDetails) : writeDetails_(writeDetails) {}

    // The number of out-of-order segments; with details on, one segment row each, in capture order.
    // `positions` are the direction's unwrapped sequence positions, by place in capture order. Where `times`
    // is given, the capture time of each is appended to it.
    std::uint64_t findOutOfOrder(const SegmentList& byCapture, std::span<const std::int64_t> positions,
                                 DetailText& out, std::vector<std::int64_t>* times = nullptr) const;

private:
    bool writeDetails_;
};

}  // namespace korvo::measurement
