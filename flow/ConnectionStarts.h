#pragma once
// Tells, segment by segment in a walk over both directions of a flow in capture order, whether a segment
// begins a new connection on the flow's addresses and ports (never a direction's first segment). A direction
// begins one at a SYN whose sequence number differs from its earlier SYN's, at its first SYN where segments
// without one came before (a connection captured in mid-stream ended), at its first SYN after the other
// direction began one that way (the SYN that answers it, whatever its sequence number), and at a RST that is
// its first segment after the other direction began one with a SYN without ACK (the RST that refuses it,
// whatever its sequence number).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "flow/SegmentRecord.h"

namespace korvo::measurement {

class ConnectionStarts {
public:
    // Whether the segment at `place` of direction `side`, the next in the walk, begins a connection.
    bool next(std::size_t side, std::size_t place, const SegmentRecord& segment) {
        if (!segment.has(SegmentRecord::kSyn)) {
            const bool refusal = refuseNext_[side] && segment.has(SegmentRecord::kRst) && place != 0;
            if (refusal) {
                answerNextSyn_[side] = false;
            }
            refuseNext_[side] = false;
            return refusal;
        }
        // A first SYN after other segments of its direction ends a connection captured in mid-stream.
        const bool newSequence =
            initialSequence_[side] ? *initialSequence_[side] != segment.sequenceNumber : place != 0;
        const bool starts = (newSequence || answerNextSyn_[side]) && place != 0;
        initialSequence_[side] = segment.sequenceNumber;
        answerNextSyn_[side] = false;
        answerNextSyn_[1 - side] = answerNextSyn_[1 - side] || newSequence;
        refuseNext_[side] = false;
        refuseNext_[1 - side] = newSequence && !segment.has(SegmentRecord::kAck);
        return starts;
    }

private:
    std::array<std::optional<std::uint32_t>, 2> initialSequence_;
    // Set when the other direction began a new connection: this direction's next SYN answers it.
    std::array<bool, 2> answerNextSyn_{};
    // Set when the other direction began a new connection with a SYN without ACK: this direction's next
    // segment answers it, and a RST refuses it.
    std::array<bool, 2> refuseNext_{};
};

}  // namespace korvo::measurement
