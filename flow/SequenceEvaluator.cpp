#include "flow/SequenceEvaluator.h"

#include <algorithm>

namespace korvo::measurement {

namespace {

constexpr std::uint64_t kPositionMask = 0xFFFFFFFFULL;

}  // namespace

void SequenceEvaluator::assign(const FlowTuple& tuple, const ChunkedStore<FiledSegment>& store,
                               std::span<const std::uint32_t> forwardByCapture,
                               std::span<const std::uint32_t> reverseByCapture) {
    tuple_ = tuple;
    arrange(forward_, store, forwardByCapture);
    arrange(reverse_, store, reverseByCapture);
}

void SequenceEvaluator::arrange(Arrangements& arrangements, const ChunkedStore<FiledSegment>& store,
                                std::span<const std::uint32_t> byCapture) {
    const std::size_t count = byCapture.size();
    arrangements.bySequence.resize(count);
    arrangements.byId.resize(count);
    keys_.resize(count);
    if (count != 0) {
        // Sorting once per flow costs O(n log n) whatever order the segments arrived in.
        const std::uint32_t origin = store[byCapture[0]].record.sequenceNumber - kOrderingMargin;
        for (std::size_t position = 0; position < count; ++position) {
            const std::uint32_t distance = store[byCapture[position]].record.sequenceNumber - origin;
            // Equal distances: the segment captured last comes first.
            keys_[position] = (std::uint64_t{distance} << 32) | (kPositionMask - position);
        }
        std::sort(keys_.begin(), keys_.end());
        for (std::size_t rank = 0; rank < count; ++rank) {
            arrangements.bySequence[rank] = byCapture[kPositionMask - (keys_[rank] & kPositionMask)];
        }
        for (std::size_t position = 0; position < count; ++position) {
            const std::uint16_t key = store[byCapture[position]].record.ipIdentification();
            keys_[position] = (std::uint64_t{key} << 32) | position;
        }
        std::sort(keys_.begin(), keys_.end());
        for (std::size_t rank = 0; rank < count; ++rank) {
            arrangements.byId[rank] = byCapture[keys_[rank] & kPositionMask];
        }
    }
    arrangements.view = Direction{SegmentList(store, arrangements.bySequence), SegmentList(store, byCapture),
                                  SegmentList(store, arrangements.byId)};
}

}  // namespace korvo::measurement
