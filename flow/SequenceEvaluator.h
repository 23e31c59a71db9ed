#pragma once
// One TCP flow as the flow table hands it to its receivers: the tuple of its first packet (the forward
// direction) and, per direction, its segments in capture order, in sequence order and in identification
// order. Receivers read it during their call only.

#include <cstdint>
#include <span>
#include <vector>

#include "capture/FlowTuple.h"
#include "flow/ChunkedStore.h"
#include "flow/FiledSegment.h"
#include "flow/SegmentList.h"

namespace korvo::measurement {

class SequenceEvaluator {
public:
    // A sequence number up to this far below a direction's first one still sorts before it; one further
    // below wraps around to the largest distances and sorts last.
    static constexpr std::uint32_t kOrderingMargin = 3000;

    struct Direction {
        // Ascending by distance from (first sequence number - kOrderingMargin), modulo 2^32; equal
        // sequence numbers newest first.
        SegmentList bySequence;
        SegmentList byCapture;
        // Ascending by identification key; equal keys in capture order.
        SegmentList byId;
    };

    [[nodiscard]] const FlowTuple& getTuple() const { return tuple_; }
    [[nodiscard]] const Direction& forward() const { return forward_.view; }
    // Empty for a flow whose two ends have the same address and port: all its segments are forward.
    [[nodiscard]] const Direction& reverse() const { return reverse_.view; }

    // Makes this the evaluator of the flow `tuple` whose forward and reverse segments are at the given store
    // positions, each list in capture order. The previous flow's arrangements are released.
    void assign(const FlowTuple& tuple, const ChunkedStore<FiledSegment>& store,
                std::span<const std::uint32_t> forwardByCapture,
                std::span<const std::uint32_t> reverseByCapture);

private:
    struct Arrangements {
        std::vector<std::uint32_t> bySequence;
        std::vector<std::uint32_t> byId;
        Direction view;
    };

    void arrange(Arrangements& arrangements, const ChunkedStore<FiledSegment>& store,
                 std::span<const std::uint32_t> byCapture);

    FlowTuple tuple_;
    Arrangements forward_;
    Arrangements reverse_;
    // Sort keys: the ordering value in the high half, the capture position in the low half.
    std::vector<std::uint64_t> sequenceKeys_;
    std::vector<std::uint64_t> idKeys_;
    std::vector<std::size_t> runStarts_;
};

}  // namespace korvo::measurement
