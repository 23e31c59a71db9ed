#pragma once
// Finds repeated segments in one direction: every segment whose IP identification was already carried by an
// earlier segment of that direction. Sequence numbers play no part.

#include <cstdint>
#include <string>

#include "flow/SegmentList.h"
#include "measurement/DetailText.h"

namespace korvo::measurement {

class RepeatFinder {
public:
    explicit RepeatFinder(bool writeDetails) : writeDetails_(writeDetails) {}

    // The number of repeats; with details on, one segment row each, ascending identification key and, under
    // one key, in capture order.
    std::uint64_t findRepeats(const SegmentList& byId, DetailText& out) const;

private:
    bool writeDetails_;
};

}  // namespace korvo::measurement
