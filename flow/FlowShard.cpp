#include "flow/FlowShard.h"

#include <algorithm>
#include <array>
#include <utility>

#include "flow/Ipv6ShardSegment.h"
#include "flow/RunMerge.h"
#include "flow/RunWriter.h"
#include "flow/ShardSegment.h"

namespace korvo::measurement {

namespace {

constexpr unsigned kDigitBits = 9;
constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
std::uint32_t positionOf(std::uint64_t entry) {
    return static_cast<std::uint32_t>(entry);
}
std::uint32_t keyOf(std::uint64_t entry) {
    return static_cast<std::uint32_t>(entry >> 32);
}
// Sorted order visits the kept segments at random: each is requested this many places ahead.
constexpr std::size_t kPrefetchDistance = 12;

}  // namespace

template <typename Segment>
std::vector<typename FlowShard<Segment>::SortEntry> FlowShard<Segment>::sortKept(std::size_t begin,
                                                                                 std::size_t end) const {
    std::vector<SortEntry> sorted(end - begin);
    std::uint32_t differing = 0;
    const std::uint32_t firstKey = begin == end ? 0 : kept_[begin].orderKey();
    for (std::size_t position = begin; position < end; ++position) {
        const std::uint32_t key = kept_[position].orderKey();
        sorted[position - begin] = (SortEntry{key} << 32) | position;
        differing |= key ^ firstKey;
    }
    // A least significant digit radix sort of the keys: stable, so equal keys stay in capture order, and
    // linear however large the shard. Digits in which all keys agree (the shard's own hash bits, for one)
    // are skipped.
    std::vector<SortEntry> scratch;
    for (unsigned shift = 0; shift < 32; shift += kDigitBits) {
        if (((differing >> shift) & (kDigits - 1)) == 0) {
            continue;
        }
        scratch.resize(sorted.size());
        std::array<std::uint32_t, kDigits> starts{};
        for (const SortEntry entry : sorted) {
            ++starts[(entry >> (32 + shift)) & (kDigits - 1)];
        }
        std::uint32_t next = 0;
        for (std::uint32_t& start : starts) {
            next += std::exchange(start, next);
        }
        for (const SortEntry entry : sorted) {
            scratch[starts[(entry >> (32 + shift)) & (kDigits - 1)]++] = entry;
        }
        sorted.swap(scratch);
    }
    return sorted;
}

template <typename Segment>
void FlowShard<Segment>::prefetchKept(const std::vector<SortEntry>& sorted, std::size_t rank) const {
    if (rank < sorted.size()) {
        __builtin_prefetch(&kept_[positionOf(sorted[rank])]);
    }
}

template <typename Segment>
void FlowShard<Segment>::spill() {
    if (kept_.empty()) {
        return;
    }
    if (!file_) {
        file_ = std::make_unique<RunFile<Segment>>();
    }
    // Sorted a piece at a time, each piece a run, so that sorting takes no more memory than allowed.
    for (std::size_t begin = 0; begin < kept_.size(); begin += mostSortedAtOnce_) {
        const std::vector<SortEntry> sorted =
            sortKept(begin, begin + std::min(mostSortedAtOnce_, kept_.size() - begin));
        RunWriter<Segment> run(*file_);
        for (std::size_t rank = 0; rank < sorted.size(); ++rank) {
            prefetchKept(sorted, rank + kPrefetchDistance);
            run.add(kept_[positionOf(sorted[rank])]);
        }
        runs_.push_back(run.finish());
    }
    // The blocks go back to the heap, where the shards of either address family can take them up again.
    kept_.release();
}

template <typename Segment>
template <typename Sink>
void FlowShard<Segment>::handOut(Sink& assembler) {
    // A shard that went to its file once goes there whole, as does one too large to sort at once, so that
    // sorting what it keeps needs no memory beyond the limit: the runs alone are merged.
    if (!runs_.empty() || kept_.size() > mostSortedAtOnce_) {
        spill();
    }
    if (runs_.empty()) {
        const std::vector<SortEntry> sorted = sortKept(0, kept_.size());
        for (std::size_t rank = 0; rank < sorted.size(); ++rank) {
            prefetchKept(sorted, rank + kPrefetchDistance);
            assembler.add(kept_[positionOf(sorted[rank])], keyOf(sorted[rank]));
        }
    } else {
        // A segment's place in hand-out order is its order key, then its packet number, which is capture
        // order across runs.
        const auto handOutOrder = [](const Segment& left, const Segment& right) {
            const std::uint32_t leftKey = left.orderKey();
            const std::uint32_t rightKey = right.orderKey();
            return leftKey != rightKey ? leftKey < rightKey
                                       : left.record.packetNumber() < right.record.packetNumber();
        };
        RunMerge<Segment, decltype(handOutOrder)>::merge(
            file_, runs_, handOutOrder,
            [&assembler](const Segment& segment) { assembler.add(segment, segment.orderKey()); });
    }
    assembler.finish();
    kept_.release();
    runs_.clear();
    file_.reset();
}

template class FlowShard<ShardSegment>;
template class FlowShard<Ipv6ShardSegment>;
template void FlowShard<ShardSegment>::handOut(FlowAssembler<ShardSegment>&);
template void FlowShard<Ipv6ShardSegment>::handOut(FlowAssembler<Ipv6ShardSegment>&);
template void FlowShard<ShardSegment>::handOut(SegmentFile<ShardSegment>::Writer&);
template void FlowShard<Ipv6ShardSegment>::handOut(SegmentFile<Ipv6ShardSegment>::Writer&);

}  // namespace korvo::measurement
