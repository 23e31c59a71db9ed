#pragma once
// The segments (IPv4 or IPv6, by `Segment`) of the flows whose flow hash falls in one range. Segments are
// appended in capture order; when memory runs short they are sorted into hand-out order and written out as a
// run, and at the end the runs and what is still kept are merged into one stream in hand-out order for a
// FlowAssembler. Shards cover consecutive ranges, so handing them out one after the other keeps the global
// hand-out order.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "flow/ChunkedStore.h"
#include "flow/FlowAssembler.h"
#include "flow/RunFile.h"
#include "flow/SegmentFile.h"

namespace korvo::measurement {

template <typename Segment>
class FlowShard {
public:
    using SegmentType = Segment;

    void add(const Segment& segment) { kept_.push_back(segment); }
    [[nodiscard]] std::size_t kept() const { return kept_.size(); }
    // The segments kept in memory, in capture order.
    [[nodiscard]] const ChunkedStore<Segment>& keptSegments() const { return kept_; }
    // Whether it holds no segment, in memory or in its temporary file.
    [[nodiscard]] bool empty() const { return kept_.empty() && runs_.empty(); }
    // Sorts at most this many segments at once (16 bytes each), however many are kept.
    void limitSorting(std::size_t mostSortedAtOnce) {
        mostSortedAtOnce_ = std::max<std::size_t>(mostSortedAtOnce, 1);
    }
    // Writes the kept segments, sorted, as runs to the temporary file and forgets them.
    void spill();
    // Feeds every segment of the shard, in hand-out order, to `sink` (a FlowAssembler, or a SegmentFile's
    // writer) with its order key, and finishes it; then lets go of the segments, their memory and the
    // temporary file.
    template <typename Sink>
    void handOut(Sink& sink);

private:
    // The order key in the upper half, the position in capture order in the lower.
    using SortEntry = std::uint64_t;
    // The order keys and positions of the kept segments [begin, end), sorted in hand-out order.
    [[nodiscard]] std::vector<SortEntry> sortKept(std::size_t begin, std::size_t end) const;
    void prefetchKept(const std::vector<SortEntry>& sorted, std::size_t rank) const;

    ChunkedStore<Segment> kept_;
    std::unique_ptr<RunFile<Segment>> file_;
    std::vector<typename RunFile<Segment>::Run> runs_;
    std::size_t mostSortedAtOnce_ = std::numeric_limits<std::size_t>::max();
};

}  // namespace korvo::measurement
