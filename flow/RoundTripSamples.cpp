#include "flow/RoundTripSamples.h"

#include <algorithm>

namespace korvo::measurement {

void RoundTripSamples::clear(std::size_t mostInMemory) {
    kept_.clear();
    onDisk_.reset();
    mostInMemory_ = mostInMemory;
    count_ = 0;
}

void RoundTripSamples::moveToDisk() {
    onDisk_ = std::make_unique<ExternalSort<std::int64_t, std::less<>>>(mostInMemory_);
    for (const std::int64_t sample : kept_) {
        onDisk_->add(sample);
    }
    kept_ = {};
}

std::optional<FlowConnection::RoundTrips> RoundTripSamples::summary() {
    if (count_ == 0) {
        return std::nullopt;
    }
    // The middle sample; of an even number, the mean of it and the one below, rounded down.
    const std::uint64_t middle = count_ / 2;
    std::int64_t median = 0;
    std::int64_t below = 0;
    FlowConnection::RoundTrips found;
    if (onDisk_) {
        std::uint64_t rank = 0;
        onDisk_->finish([&](std::int64_t sample) {
            found.least = rank == 0 ? sample : found.least;
            below = rank + 1 == middle ? sample : below;
            median = rank == middle ? sample : median;
            found.most = sample;
            ++rank;
        });
        onDisk_.reset();
    } else {
        std::nth_element(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(middle), kept_.end());
        median = kept_[middle];
        if (count_ % 2 == 0) {
            below = *std::max_element(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(middle));
        }
        const auto [least, most] = std::ranges::minmax(kept_);
        found.least = least;
        found.most = most;
    }
    found.median = count_ % 2 == 0 ? below + (median - below) / 2 : median;
    return found;
}

}  // namespace korvo::measurement
