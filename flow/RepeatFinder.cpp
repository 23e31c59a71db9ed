#include "flow/RepeatFinder.h"

#include "flow/SegmentRow.h"

namespace korvo::measurement {

std::uint64_t RepeatFinder::findRepeats(const SegmentList& byId, DetailText& out) const {
    // The first segment under an identification is never a repeat.
    if (byId.size() < 2) {
        return 0;
    }
    auto segment = byId.begin();
    std::uint64_t repeats = 0;
    std::uint16_t previousKey = segment->ipIdentification();
    for (++segment; segment != byId.end(); ++segment) {
        const std::uint16_t key = segment->ipIdentification();
        if (key == previousKey) {
            ++repeats;
            if (writeDetails_) {
                SegmentRow::append(*segment, out);
            }
        }
        previousKey = key;
    }
    return repeats;
}

}  // namespace korvo::measurement
