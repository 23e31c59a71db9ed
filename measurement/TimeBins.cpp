#include "measurement/TimeBins.h"

#include <utility>

#include <algorithm>

namespace korvo::measurement {

namespace {

constexpr std::int64_t kMicrosPerSecond = 1'000'000;
constexpr std::int64_t kMicrosPerDay = 86'400 * kMicrosPerSecond;

}  // namespace

std::int64_t TimeBins::nextWidth(std::int64_t width) {
    // Below a second and from a day on: ×2 and ×5 in turn (1, 2, 10, 20, ...).
    constexpr std::int64_t kMinute = 60 * kMicrosPerSecond;
    constexpr std::int64_t kHour = 60 * kMinute;
    constexpr std::int64_t kBetween[] = {kMicrosPerSecond,
                                         2 * kMicrosPerSecond,
                                         10 * kMicrosPerSecond,
                                         20 * kMicrosPerSecond,
                                         kMinute,
                                         2 * kMinute,
                                         10 * kMinute,
                                         20 * kMinute,
                                         kHour,
                                         2 * kHour,
                                         6 * kHour,
                                         kMicrosPerDay};
    for (std::size_t step = 0; step + 1 < std::size(kBetween); ++step) {
        if (width == kBetween[step]) {
            return kBetween[step + 1];
        }
    }
    const std::int64_t unit = width < kMicrosPerSecond ? 1 : kMicrosPerDay;
    std::int64_t decade = unit;
    while (width >= decade * 10) {
        decade *= 10;
    }
    return width == decade ? 2 * width : 5 * width;
}

std::int64_t TimeBins::floorDivide(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

void TimeBins::merge(const TimeBins& other) {
    while (!counts_.empty() && width_ < other.width_) {
        widen();
    }
    add(other);
}

TimeBins TimeBins::restored(std::size_t counters, std::int64_t width, std::int64_t firstKey,
                            std::vector<std::uint64_t> counts) {
    TimeBins bins(counters);
    bins.width_ = width;
    bins.firstKey_ = firstKey;
    bins.counts_ = std::move(counts);
    return bins;
}

TimeBins TimeBins::alignedWith(const TimeBins& other, std::size_t counters) {
    TimeBins bins(counters);
    bins.width_ = other.width_;
    bins.firstKey_ = other.firstKey_;
    bins.counts_.assign(other.intervals() * counters, 0);
    return bins;
}

std::uint64_t* TimeBins::locate(std::int64_t micros) {
    if (counts_.empty()) {
        firstKey_ = floorDivide(micros, width_);
        counts_.assign(counters_, 0);
    }
    std::int64_t key = floorDivide(micros, width_);
    while (std::max(key, lastKey()) - std::min(key, firstKey_) >= static_cast<std::int64_t>(kMostIntervals)) {
        widen();
        key = floorDivide(micros, width_);
    }
    if (key < firstKey_) {
        counts_.insert(counts_.begin(), static_cast<std::size_t>(firstKey_ - key) * counters_, 0);
        firstKey_ = key;
    } else if (key > lastKey()) {
        counts_.resize(static_cast<std::size_t>(key - firstKey_ + 1) * counters_, 0);
    }
    cachedStart_ = key * width_;
    cachedEnd_ = cachedStart_ + width_;
    cached_ = &counts_[static_cast<std::size_t>(key - firstKey_) * counters_];
    return cached_;
}

void TimeBins::widen() {
    const std::int64_t wider = nextWidth(width_);
    const std::int64_t ratio = wider / width_;
    const std::int64_t newFirst = floorDivide(firstKey_, ratio);
    const std::int64_t newLast = floorDivide(lastKey(), ratio);
    std::vector<std::uint64_t> merged(static_cast<std::size_t>(newLast - newFirst + 1) * counters_, 0);
    for (std::size_t interval = 0; interval < intervals(); ++interval) {
        const std::int64_t key = firstKey_ + static_cast<std::int64_t>(interval);
        const auto target = static_cast<std::size_t>(floorDivide(key, ratio) - newFirst);
        for (std::size_t counter = 0; counter < counters_; ++counter) {
            merged[target * counters_ + counter] += counts_[interval * counters_ + counter];
        }
    }
    counts_ = std::move(merged);
    width_ = wider;
    firstKey_ = newFirst;
    cachedStart_ = 0;
    cachedEnd_ = 0;
    cached_ = nullptr;
}

void TimeBins::add(const TimeBins& other) {
    if (counts_.empty()) {
        width_ = std::max(width_, other.width_);
    }
    for (std::size_t interval = 0; interval < other.intervals(); ++interval) {
        std::uint64_t* target = at(other.firstStart() + static_cast<std::int64_t>(interval) * other.width_);
        for (std::size_t counter = 0; counter < counters_; ++counter) {
            target[counter] += other.count(interval, counter);
        }
    }
}

}  // namespace korvo::measurement
