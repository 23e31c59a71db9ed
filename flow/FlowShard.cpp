#include "flow/FlowShard.h"

#include <algorithm>
#include <array>
#include <queue>
#include <utility>

#include "flow/Ipv6ShardSegment.h"
#include "flow/ShardSegment.h"

namespace korvo::measurement {

namespace {

constexpr std::size_t kWriteBlock = 4096;
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
std::vector<typename FlowShard<Segment>::SortEntry> FlowShard<Segment>::sortKept() const {
    std::vector<SortEntry> sorted(kept_.size());
    std::uint32_t differing = 0;
    const std::uint32_t firstKey = kept_.empty() ? 0 : kept_[0].orderKey();
    for (std::size_t position = 0; position < kept_.size(); ++position) {
        const std::uint32_t key = kept_[position].orderKey();
        sorted[position] = (SortEntry{key} << 32) | position;
        differing |= key ^ firstKey;
    }
    // A least significant digit radix sort of the keys: stable, so equal keys stay in capture order, and
    // linear however large the shard. Digits in which all keys agree (the shard's own hash bits, for one)
    // are skipped.
    std::vector<SortEntry> scratch(sorted.size());
    for (unsigned shift = 0; shift < 32; shift += kDigitBits) {
        if (((differing >> shift) & (kDigits - 1)) == 0) {
            continue;
        }
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
    const std::vector<SortEntry> sorted = sortKept();
    std::vector<Segment> block;
    block.reserve(kWriteBlock);
    for (std::size_t rank = 0; rank < sorted.size(); ++rank) {
        prefetchKept(sorted, rank + kPrefetchDistance);
        block.push_back(kept_[positionOf(sorted[rank])]);
        if (block.size() == kWriteBlock) {
            file_->write(block);
            block.clear();
        }
    }
    file_->write(block);
    runs_.push_back(file_->endRun());
    // The blocks go back to the heap, where the shards of either address family can take them up again.
    kept_.release();
}

template <typename Segment>
template <typename Sink>
void FlowShard<Segment>::handOut(Sink& assembler) {
    // A shard that went to its file once goes there whole, so that sorting what it still keeps needs no
    // memory beyond the limit: the runs alone are merged.
    if (!runs_.empty()) {
        spill();
    }
    const std::vector<SortEntry> sorted = sortKept();
    if (runs_.empty()) {
        for (std::size_t rank = 0; rank < sorted.size(); ++rank) {
            prefetchKept(sorted, rank + kPrefetchDistance);
            assembler.add(kept_[positionOf(sorted[rank])], keyOf(sorted[rank]));
        }
    } else {
        merge(assembler, sorted);
    }
    assembler.finish();
    kept_.release();
    runs_.clear();
    file_.reset();
}

template <typename Segment>
template <typename Sink>
void FlowShard<Segment>::merge(Sink& assembler, const std::vector<SortEntry>& sorted) const {
    std::vector<typename RunFile<Segment>::Reader> readers;
    readers.reserve(runs_.size());
    for (const typename RunFile<Segment>::Run& run : runs_) {
        readers.emplace_back(*file_, run);
    }
    // Sources are the runs, then the kept segments (source readers.size()). A segment's place in the merge
    // is its order key, then its packet number, which is capture order across runs.
    struct Head {
        std::uint32_t key;
        std::uint64_t packet;
        std::size_t source;
        bool operator>(const Head& other) const {
            return key != other.key ? key > other.key : packet > other.packet;
        }
    };
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    const auto push = [&heads](const Segment& segment, std::size_t source) {
        heads.push({segment.orderKey(), segment.record.packetNumber(), source});
    };
    for (std::size_t source = 0; source < readers.size(); ++source) {
        if (!readers[source].done()) {
            push(readers[source].front(), source);
        }
    }
    std::size_t nextKept = 0;
    if (!sorted.empty()) {
        push(kept_[positionOf(sorted[0])], readers.size());
    }
    while (!heads.empty()) {
        const Head head = heads.top();
        heads.pop();
        if (head.source == readers.size()) {
            assembler.add(kept_[positionOf(sorted[nextKept])], head.key);
            if (++nextKept < sorted.size()) {
                push(kept_[positionOf(sorted[nextKept])], readers.size());
            }
            continue;
        }
        typename RunFile<Segment>::Reader& reader = readers[head.source];
        assembler.add(reader.front(), head.key);
        reader.pop();
        if (!reader.done()) {
            push(reader.front(), head.source);
        }
    }
}

template class FlowShard<ShardSegment>;
template class FlowShard<Ipv6ShardSegment>;
template void FlowShard<ShardSegment>::handOut(FlowAssembler<ShardSegment>&);
template void FlowShard<Ipv6ShardSegment>::handOut(FlowAssembler<Ipv6ShardSegment>&);
template void FlowShard<ShardSegment>::handOut(SegmentFile<ShardSegment>::Writer&);
template void FlowShard<Ipv6ShardSegment>::handOut(SegmentFile<Ipv6ShardSegment>::Writer&);

}  // namespace korvo::measurement
