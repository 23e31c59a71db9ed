#include "flow/SequenceEvaluator.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <tuple>

#include "flow/RunMergeSort.h"

namespace korvo::measurement {

namespace {

constexpr std::uint64_t kPositionMask = 0xFFFFFFFFULL;

}  // namespace

void SequenceEvaluator::assign(const FlowTuple& tuple, std::span<const SegmentRecord> forward,
                               std::span<const SegmentRecord> reverse) {
    tuple_ = tuple;
    ipv6_ = false;
    textLength_ = 0;
    spilled_ = nullptr;
    arrangeBoth(forward, reverse);
}

void SequenceEvaluator::assign(const Ipv6FlowTuple& tuple, std::span<const SegmentRecord> forward,
                               std::span<const SegmentRecord> reverse) {
    ipv6Tuple_ = tuple;
    ipv6_ = true;
    textLength_ = 0;
    spilled_ = nullptr;
    arrangeBoth(forward, reverse);
}

void SequenceEvaluator::assign(const FlowTuple& tuple, const SpilledFlow& spilled) {
    tuple_ = tuple;
    ipv6_ = false;
    readFrom(spilled);
}

void SequenceEvaluator::assign(const Ipv6FlowTuple& tuple, const SpilledFlow& spilled) {
    ipv6Tuple_ = tuple;
    ipv6_ = true;
    readFrom(spilled);
}

void SequenceEvaluator::readFrom(const SpilledFlow& spilled) {
    textLength_ = 0;
    spilled_ = &spilled;
    forward_.view = {};
    reverse_.view = {};
}

std::uint64_t SequenceEvaluator::dataBytes(std::size_t side) const {
    if (spilled_ != nullptr) {
        return spilled_->dataBytes(side);
    }
    // The order is all one.
    std::uint64_t data = 0;
    for (const SegmentRecord& segment : (side == 0 ? forward_ : reverse_).view.byCapture.records()) {
        data += segment.dataLength();
    }
    return data;
}

std::uint64_t SequenceEvaluator::firstPacket() const {
    if (spilled_ != nullptr) {
        return spilled_->firstPacket();
    }
    const std::uint64_t forward = forward_.view.byCapture[0].packetNumber();
    return reverse_.view.byCapture.empty() ? forward
                                           : std::min(forward, reverse_.view.byCapture[0].packetNumber());
}

SequenceEvaluator::Span SequenceEvaluator::captureSpan() const {
    if (spilled_ != nullptr) {
        return spilled_->captureSpan();
    }
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
    const std::size_t longest = std::max(forward.size(), reverse.size());
    if (identity_.size() < longest) {
        const std::size_t known = identity_.size();
        identity_.resize(longest);
        std::iota(identity_.begin() + static_cast<std::ptrdiff_t>(known), identity_.end(),
                  static_cast<std::uint32_t>(known));
    }
    Extent forwardExtent = unwrapOne(forward_.positions, forward);
    Extent reverseExtent = unwrapOne(reverse_.positions, reverse);
    const bool laterSyn = forwardExtent.laterSyn || reverseExtent.laterSyn;
    const bool oneByteSegment = forwardExtent.oneByteSegment || reverseExtent.oneByteSegment;
    if (!laterSyn && !oneByteSegment) {
        // Nearly every flow: one connection, and no segment that could be a keep-alive or probe.
        arrange(forward_, forward, forwardExtent, {});
        arrange(reverse_, reverse, reverseExtent, {});
        return;
    }
    marks_.clear();
    if (laterSyn) {
        marks_.findConnections(forward, reverse);
        for (const bool reverseSide : {false, true}) {
            const std::span<const std::uint32_t> starts = marks_.connectionStarts(reverseSide);
            if (!starts.empty()) {
                Extent& extent = reverseSide ? reverseExtent : forwardExtent;
                std::tie(extent.lowest, extent.highest) = unwrap(
                    (reverseSide ? reverse_ : forward_).positions, reverseSide ? reverse : forward, starts);
            }
        }
    }
    if (oneByteSegment) {
        marks_.findKeepAlivesAndProbes(forward, forward_.positions, reverse, reverse_.positions);
    }
    arrange(forward_, forward, forwardExtent, &marks_);
    arrange(reverse_, reverse, reverseExtent, &marks_);
}

// Inline: nearly every direction of every flow takes this path once, by unwrapOne.
inline SequenceEvaluator::Extent SequenceEvaluator::unwrapInto(std::span<std::int64_t> positions,
                                                               std::span<const SegmentRecord> records) {
    if (records.empty()) {
        return {};
    }
    Extent extent{records[0].sequenceNumber, records[0].sequenceNumber};
    positions[0] = extent.lowest;
    for (std::size_t position = 1; position < records.size(); ++position) {
        const SegmentRecord& segment = records[position];
        positions[position] =
            positions[position - 1] +
            static_cast<std::int32_t>(segment.sequenceNumber - records[position - 1].sequenceNumber);
        extent.lowest = std::min(extent.lowest, positions[position]);
        extent.highest = std::max(extent.highest, positions[position]);
        extent.laterSyn = extent.laterSyn || segment.has(SegmentRecord::kSyn);
        extent.oneByteSegment = extent.oneByteSegment || segment.segmentLength == 1;
    }
    return extent;
}

SequenceEvaluator::Extent SequenceEvaluator::unwrapOne(std::vector<std::int64_t>& positions,
                                                       std::span<const SegmentRecord> records) {
    positions.resize(records.size());
    return unwrapInto(positions, records);
}

std::pair<std::int64_t, std::int64_t> SequenceEvaluator::unwrap(
    std::vector<std::int64_t>& positions, std::span<const SegmentRecord> records,
    std::span<const std::uint32_t> connectionStarts) {
    std::pair<std::int64_t, std::int64_t> whole{};
    // The end of the sequence space of the connections unwrapped so far.
    std::int64_t earlierEnd = std::numeric_limits<std::int64_t>::min();
    std::size_t begin = 0;
    for (std::size_t connection = 0; begin < records.size(); ++connection) {
        const std::size_t end =
            connection < connectionStarts.size() ? connectionStarts[connection] : records.size();
        const std::span<std::int64_t> own = std::span(positions).subspan(begin, end - begin);
        const Extent extent = unwrapInto(own, records.subspan(begin, end - begin));
        const std::int64_t shift = connection == 0 ? 0 : earlierEnd - extent.lowest;
        for (std::int64_t& position : own) {
            position += shift;
        }
        whole = connection == 0 ? std::pair(extent.lowest, extent.highest)
                                : std::pair(whole.first, std::max(whole.second, extent.highest + shift));
        for (std::size_t position = begin; position < end; ++position) {
            earlierEnd = std::max(earlierEnd, positions[position] + records[position].segmentLength);
        }
        begin = end;
    }
    return whole;
}

void SequenceEvaluator::arrange(Arrangements& arrangements, std::span<const SegmentRecord> records,
                                const Extent& extent, const SegmentMarks* marks) {
    const bool reverseSide = &arrangements == &reverse_;
    const std::span<const std::uint32_t> connectionStarts =
        marks != nullptr ? marks->connectionStarts(reverseSide) : std::span<const std::uint32_t>();
    const std::span<const std::uint32_t> keepAlivesAndProbes =
        marks != nullptr ? marks->keepAlivesAndProbes(reverseSide) : std::span<const std::uint32_t>();
    const std::size_t count = records.size();
    const SegmentList byCapture(records.data(), std::span<const std::uint32_t>(identity_).first(count));
    const std::int64_t lowest = extent.lowest;
    const std::int64_t highest = extent.highest;
    if (count <= 1) {
        // Most flows of a connection scan: nothing to order.
        arrangements.view = Direction{
            byCapture,        byCapture,          ipv6_ ? SegmentList() : byCapture, arrangements.positions,
            connectionStarts, keepAlivesAndProbes};
        return;
    }
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
                                  connectionStarts,
                                  keepAlivesAndProbes};
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
