#include "flow/SequenceEvaluator.h"

#include <algorithm>
#include <numeric>

#include "flow/RunMergeSort.h"

namespace korvo::measurement {

namespace {

constexpr std::uint64_t kPositionMask = 0xFFFFFFFFULL;

}  // namespace

void SequenceEvaluator::assign(const FlowTuple& tuple, std::span<const SegmentRecord> forward,
                               std::span<const SegmentRecord> reverse) {
    tuple_ = tuple;
    anomalyCounts_.fill(kUnknown);
    const std::size_t longest = std::max(forward.size(), reverse.size());
    if (identity_.size() < longest) {
        const std::size_t known = identity_.size();
        identity_.resize(longest);
        std::iota(identity_.begin() + static_cast<std::ptrdiff_t>(known), identity_.end(),
                  static_cast<std::uint32_t>(known));
    }
    arrange(forward_, forward);
    arrange(reverse_, reverse);
}

void SequenceEvaluator::arrange(Arrangements& arrangements, std::span<const SegmentRecord> records) {
    const std::size_t count = records.size();
    const SegmentList byCapture(records.data(), std::span<const std::uint32_t>(identity_).first(count));
    if (count <= 1) {
        // Most flows of a connection scan: nothing to order.
        arrangements.view = Direction{byCapture, byCapture, byCapture};
        return;
    }
    arrangements.bySequence.resize(count);
    arrangements.byId.resize(count);
    sequenceKeys_.resize(count);
    idKeys_.resize(count);
    const std::uint32_t origin = records[0].sequenceNumber - kOrderingMargin;
    for (std::size_t position = 0; position < count; ++position) {
        const SegmentRecord& record = records[position];
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
        arrangements.bySequence[rank] =
            static_cast<std::uint32_t>(kPositionMask - (sequenceKeys_[rank] & kPositionMask));
        arrangements.byId[rank] = static_cast<std::uint32_t>(idKeys_[rank] & kPositionMask);
    }
    arrangements.view = Direction{SegmentList(records.data(), arrangements.bySequence), byCapture,
                                  SegmentList(records.data(), arrangements.byId)};
}

}  // namespace korvo::measurement
