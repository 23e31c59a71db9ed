#pragma once
// Tells, segment by segment in a walk over both directions of a flow in capture order, whether a segment is a
// keep-alive (one data byte, starting one below the furthest sequence position its connection had reached)
// or a zero-window probe (one data byte while the other direction's last segment advertised a zero window).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "flow/SegmentRecord.h"

namespace korvo::measurement {

class KeepAlivesAndProbes {
public:
    // Whether the segment of direction `side` at unwrapped `position`, the next in the walk, is one;
    // `startsConnection` where it begins a new connection on the flow's addresses and ports.
    bool next(std::size_t side, const SegmentRecord& segment, std::int64_t position, bool startsConnection) {
        windowClosed_[side] = segment.has(SegmentRecord::kZeroWindow);
        if (startsConnection) {
            reached_[side] = false;
        }
        const std::int64_t end = position + segment.segmentLength;
        const bool found = holdsOneDataByte(segment) &&
                           ((reached_[side] && position == furthest_[side] - 1) || windowClosed_[1 - side]);
        furthest_[side] = reached_[side] ? std::max(furthest_[side], end) : end;
        reached_[side] = true;
        return found;
    }

private:
    // One data byte: a SYN or FIN sent again occupies one sequence number too, but is neither a keep-alive
    // nor a probe.
    static bool holdsOneDataByte(const SegmentRecord& segment) {
        return segment.segmentLength == 1 && !segment.has(SegmentRecord::kSyn) &&
               !segment.has(SegmentRecord::kFin);
    }

    // Per direction: whether its connection has a segment yet, and the furthest position it reached.
    std::array<bool, 2> reached_{};
    std::array<std::int64_t, 2> furthest_{};
    std::array<bool, 2> windowClosed_{};
};

}  // namespace korvo::measurement
