#pragma once
// Counters per interval of capture time, for the charts over time. The intervals are aligned to multiples
// of their width since 1970 and widen, through a ladder of round widths each a multiple of the one before
// (1, 2, 10, 20, 100 µs ... 1 s, 2 s, 10 s, 20 s, 1 min, 2 min, 10 min, 20 min, 1 h, 2 h, 6 h, 1 day, 2 days,
// 10 days ...), so that the times seen span at most kMostIntervals of them: memory stays bounded whatever
// the capture's length, and times that go backwards only add intervals in front.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvo::measurement {

class TimeBins {
public:
    static constexpr std::size_t kMostIntervals = 1000;

    // Each interval holds `counters` counters.
    explicit TimeBins(std::size_t counters) : counters_(counters) {}

    // Empty intervals of the width and range of `other`, with `counters` counters each.
    static TimeBins alignedWith(const TimeBins& other, std::size_t counters);

    // The counters of the interval that holds `micros` (microseconds since 1970), widening the intervals
    // first where needed. Valid until the next call.
    std::uint64_t* at(std::int64_t micros) {
        if (micros >= cachedStart_ && micros < cachedEnd_) {
            return cached_;
        }
        return locate(micros);
    }

    // The bounds of the interval that at() found last, microseconds since 1970, the end excluded.
    struct Span {
        std::int64_t start = 0;
        std::int64_t end = 0;
    };
    [[nodiscard]] Span lastFound() const { return {cachedStart_, cachedEnd_}; }

    // Adds the counts of `other`, whose intervals are those of this object or narrower on the same
    // ladder, and widens this object's where `other` spans more.
    void add(const TimeBins& other);
    // The same for `other` of any width on the ladder: this object's intervals are first widened to
    // `other`'s. The result is what one object would have counted from the times of both.
    void merge(const TimeBins& other);

    // The intervals as they are kept, and bins made from them.
    [[nodiscard]] const std::vector<std::uint64_t>& counts() const { return counts_; }
    [[nodiscard]] std::int64_t firstKey() const { return firstKey_; }
    [[nodiscard]] static TimeBins restored(std::size_t counters, std::int64_t width, std::int64_t firstKey,
                                           std::vector<std::uint64_t> counts);

    [[nodiscard]] bool empty() const { return counts_.empty(); }
    [[nodiscard]] std::size_t intervals() const { return counts_.size() / counters_; }
    [[nodiscard]] std::int64_t width() const { return width_; }
    // The start of the first interval, microseconds since 1970.
    [[nodiscard]] std::int64_t firstStart() const { return firstKey_ * width_; }
    [[nodiscard]] std::uint64_t count(std::size_t interval, std::size_t counter) const {
        return counts_[interval * counters_ + counter];
    }

    // The width after `width` on the ladder.
    [[nodiscard]] static std::int64_t nextWidth(std::int64_t width);

private:
    std::uint64_t* locate(std::int64_t micros);
    // Moves to the next width of the ladder, merging the intervals.
    void widen();
    static std::int64_t floorDivide(std::int64_t value, std::int64_t divisor);
    [[nodiscard]] std::int64_t lastKey() const {
        return firstKey_ + static_cast<std::int64_t>(intervals()) - 1;
    }

    std::size_t counters_;
    std::int64_t width_ = 1;
    // The first interval's start divided by the width.
    std::int64_t firstKey_ = 0;
    // Interval by interval, `counters_` each.
    std::vector<std::uint64_t> counts_;
    // The interval found last: its bounds and counters.
    std::int64_t cachedStart_ = 0;
    std::int64_t cachedEnd_ = 0;
    std::uint64_t* cached_ = nullptr;
};

}  // namespace korvo::measurement
