#pragma once
// Finds the out-of-order segments of one direction: segments captured after a segment that lies further
// along, by unwrapped sequence position. A retransmission counts just like a reordered segment. A segment
// that occupies no sequence space (a pure acknowledgement, a RST without data), a keep-alive and a
// zero-window probe are never out of order: they carry no data that could arrive late.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "figure/DetailText.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

class OOOFinder {
public:
    explicit OOOFinder(bool writeDetails) : writeDetails_(writeDetails) {}

    // The number of out-of-order segments of direction `side` of `flow`; with details on, one segment row
    // each, in capture order. Where `times` is given, the capture time of each is appended to it.
    std::uint64_t findOutOfOrder(const SequenceEvaluator& flow, std::size_t side, DetailText& out,
                                 std::vector<std::int64_t>* times = nullptr) const;

private:
    bool writeDetails_;
};

}  // namespace korvo::measurement
