#include "flow/SequenceEvaluator.h"

#include <algorithm>

#include "flow/RunMergeSort.h"

namespace korvo::measurement {

namespace {

constexpr std::uint64_t kPositionMask = 0xFFFFFFFFULL;
constexpr std::size_t kPrefetchDistance = 16;

}  // namespace

void SequenceEvaluator::assign(const FlowTuple& tuple, const ChunkedStore<FiledSegment>& store,
                               std::span<const std::uint32_t> forwardByCapture,
                               std::span<const std::uint32_t> reverseByCapture) {
    tuple_ = tuple;
    anomalyCounts_.fill(kUnknown);
    arrange(forward_, store, forwardByCapture);
    arrange(reverse_, store, reverseByCapture);
}

void SequenceEvaluator::arrange(Arrangements& arrangements, const ChunkedStore<FiledSegment>& store,
                                std::span<const std::uint32_t> byCapture) {
    const std::size_t count = byCapture.size();
    if (count <= 1) {
        // Most flows of a connection scan: nothing to order.
        arrangements.view = Direction{SegmentList(store, byCapture), SegmentList(store, byCapture),
                                      SegmentList(store, byCapture)};
        return;
    }
    arrangements.bySequence.resize(count);
    arrangements.byId.resize(count);
    sequenceKeys_.resize(count);
    idKeys_.resize(count);
    const std::uint32_t origin = store[byCapture[0]].record.sequenceNumber - kOrderingMargin;
    for (std::size_t position = 0; position < count; ++position) {
        // A direction's records lie scattered among those of the flows captured meanwhile: ask for them
        // well ahead.
        if (position + kPrefetchDistance < count) {
            __builtin_prefetch(&store[byCapture[position + kPrefetchDistance]]);
        }
        const SegmentRecord& record = store[byCapture[position]].record;
        const std::uint32_t distance = record.sequenceNumber - origin;
        // Equal distances: the segment captured last comes first.
        sequenceKeys_[position] = (std::uint64_t{distance} << 32) | (kPositionMask - position);
        idKeys_[position] = (std::uint64_t{record.ipIdentification()} << 32) | position;
    }
    // Segments that repeat a sequence number (pure acknowledgements, mostly) follow each other in capture
    // order; turning those stretches round leaves an in-order direction fully sorted.
    for (auto stretch = sequenceKeys_.begin(); stretch != sequenceKeys_.end();) {
        const std::uint64_t distance = *stretch >> 32;
        const auto end = std::find_if(stretch + 1, sequenceKeys_.end(),
                                      [distance](std::uint64_t key) { return key >> 32 != distance; });
        std::reverse(stretch, end);
        stretch = end;
    }
    RunMergeSort::sort(sequenceKeys_, runStarts_);
    RunMergeSort::sort(idKeys_, runStarts_);
    for (std::size_t rank = 0; rank < count; ++rank) {
        arrangements.bySequence[rank] = byCapture[kPositionMask - (sequenceKeys_[rank] & kPositionMask)];
        arrangements.byId[rank] = byCapture[idKeys_[rank] & kPositionMask];
    }
    arrangements.view = Direction{SegmentList(store, arrangements.bySequence), SegmentList(store, byCapture),
                                  SegmentList(store, arrangements.byId)};
}

}  // namespace korvo::measurement
