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
    ipv6_ = false;
    arrangeBoth(forward, reverse);
}

void SequenceEvaluator::assign(const Ipv6FlowTuple& tuple, std::span<const SegmentRecord> forward,
                               std::span<const SegmentRecord> reverse) {
    ipv6Tuple_ = tuple;
    ipv6_ = true;
    arrangeBoth(forward, reverse);
}

SequenceEvaluator::Span SequenceEvaluator::captureSpan() const {
    const std::int64_t start = forward_.view.byCapture[0].captureMicros();
    Span span{start, start};
    for (const Direction* direction : {&forward_.view, &reverse_.view}) {
        for (const SegmentRecord& segment : direction->byCapture.records()) {
            const std::int64_t time = segment.captureMicros();
            span.first = std::min(span.first, time);
            span.last = std::max(span.last, time);
        }
    }
    return span;
}

void SequenceEvaluator::arrangeBoth(std::span<const SegmentRecord> forward,
                                    std::span<const SegmentRecord> reverse) {
    anomalyCounts_.fill(kUnknown);
    retransmissions_.reset();
    for (std::vector<std::int64_t>& times : times_) {
        times.clear();
    }
    const std::size_t longest = std::max(forward.size(), reverse.size());
    if (identity_.size() < longest) {
        const std::size_t known = identity_.size();
        identity_.resize(longest);
        std::iota(identity_.begin() + static_cast<std::ptrdiff_t>(known), identity_.end(),
                  static_cast<std::uint32_t>(known));
    }
    marks_.findConnections(forward, reverse);
    arrange(forward_, forward, marks_.connectionStarts(false));
    arrange(reverse_, reverse, marks_.connectionStarts(true));
    marks_.findKeepAlivesAndProbes(forward, forward_.positions, reverse, reverse_.positions);
    for (const bool reverseSide : {false, true}) {
        Direction& view = (reverseSide ? reverse_ : forward_).view;
        view.connectionStarts = marks_.connectionStarts(reverseSide);
        view.keepAlivesAndProbes = marks_.keepAlivesAndProbes(reverseSide);
    }
}

void SequenceEvaluator::unwrap(std::vector<std::int64_t>& positions, std::span<const SegmentRecord> records,
                               std::span<const std::uint32_t> connectionStarts) {
    positions.resize(records.size());
    // The end of the sequence space of the connections unwrapped so far.
    std::int64_t earlierEnd = 0;
    std::size_t begin = 0;
    for (std::size_t connection = 0; begin < records.size(); ++connection) {
        const std::size_t end =
            connection < connectionStarts.size() ? connectionStarts[connection] : records.size();
        positions[begin] = records[begin].sequenceNumber;
        std::int64_t lowest = positions[begin];
        for (std::size_t position = begin + 1; position < end; ++position) {
            positions[position] =
                positions[position - 1] + static_cast<std::int32_t>(records[position].sequenceNumber -
                                                                    records[position - 1].sequenceNumber);
            lowest = std::min(lowest, positions[position]);
        }
        if (connection != 0) {
            const std::int64_t shift = earlierEnd - lowest;
            for (std::size_t position = begin; position < end; ++position) {
                positions[position] += shift;
            }
        }
        if (end != records.size()) {
            for (std::size_t position = begin; position < end; ++position) {
                earlierEnd = std::max(earlierEnd, positions[position] + records[position].segmentLength);
            }
        }
        begin = end;
    }
}

void SequenceEvaluator::arrange(Arrangements& arrangements, std::span<const SegmentRecord> records,
                                std::span<const std::uint32_t> connectionStarts) {
    const std::size_t count = records.size();
    const SegmentList byCapture(records.data(), std::span<const std::uint32_t>(identity_).first(count));
    unwrap(arrangements.positions, records, connectionStarts);
    if (count <= 1) {
        // Most flows of a connection scan: nothing to order.
        arrangements.view = Direction{
            byCapture, byCapture, ipv6_ ? SegmentList() : byCapture, arrangements.positions, {}, {}};
        return;
    }
    const auto [lowestAt, highestAt] =
        std::minmax_element(arrangements.positions.begin(), arrangements.positions.end());
    const std::int64_t lowest = *lowestAt;
    const std::int64_t highest = *highestAt;
    arrangements.bySequence.resize(count);
    arrangements.byId.resize(ipv6_ ? 0 : count);
    if (!ipv6_) {
        idKeys_.resize(count);
        for (std::size_t position = 0; position < count; ++position) {
            idKeys_[position] = (std::uint64_t{records[position].ipIdentification()} << 32) | position;
        }
        RunMergeSort::sort(idKeys_, runStarts_);
        for (std::size_t rank = 0; rank < count; ++rank) {
            arrangements.byId[rank] = static_cast<std::uint32_t>(idKeys_[rank] & kPositionMask);
        }
    }
    if (static_cast<std::uint64_t>(highest - lowest) > kPositionMask) {
        sortWidePositions(arrangements);
    } else {
        sequenceKeys_.resize(count);
        for (std::size_t position = 0; position < count; ++position) {
            const auto offset = static_cast<std::uint64_t>(arrangements.positions[position] - lowest);
            // Equal positions: the segment captured last comes first.
            sequenceKeys_[position] = (offset << 32) | (kPositionMask - position);
        }
        // Segments that repeat a sequence number (pure acknowledgements, mostly) follow each other in
        // capture order; turning those stretches round leaves an in-order direction fully sorted.
        for (auto stretch = sequenceKeys_.begin(); stretch != sequenceKeys_.end();) {
            const std::uint64_t offset = *stretch >> 32;
            const auto end = std::find_if(stretch + 1, sequenceKeys_.end(),
                                          [offset](std::uint64_t key) { return key >> 32 != offset; });
            std::reverse(stretch, end);
            stretch = end;
        }
        RunMergeSort::sort(sequenceKeys_, runStarts_);
        for (std::size_t rank = 0; rank < count; ++rank) {
            arrangements.bySequence[rank] =
                static_cast<std::uint32_t>(kPositionMask - (sequenceKeys_[rank] & kPositionMask));
        }
    }
    arrangements.view = Direction{SegmentList(records.data(), arrangements.bySequence),
                                  byCapture,
                                  SegmentList(records.data(), arrangements.byId),
                                  arrangements.positions,
                                  {},
                                  {}};
}

void SequenceEvaluator::sortWidePositions(Arrangements& arrangements) {
    std::iota(arrangements.bySequence.begin(), arrangements.bySequence.end(), 0U);
    const std::vector<std::int64_t>& positions = arrangements.positions;
    std::sort(arrangements.bySequence.begin(), arrangements.bySequence.end(),
              [&positions](std::uint32_t left, std::uint32_t right) {
                  return positions[left] != positions[right] ? positions[left] < positions[right]
                                                             : left > right;
              });
}

}  // namespace korvo::measurement
