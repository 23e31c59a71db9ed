#pragma once
// The round-trip samples of one flow, summed up as least, median and most. Samples are kept in memory up to
// a given number; beyond that (a flow judged from temporary files) they are sorted on disk, and the median
// is read off the sorted stream.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "flow/ExternalSort.h"
#include "flow/FlowConnection.h"

namespace korvo::measurement {

class RoundTripSamples {
public:
    // Forgets the previous flow's samples; at most `mostInMemory` are kept in memory.
    void clear(std::size_t mostInMemory);
    void add(std::int64_t sample) {
        if (onDisk_) {
            onDisk_->add(sample);
            ++count_;
            return;
        }
        kept_.push_back(sample);
        ++count_;
        if (kept_.size() > mostInMemory_) {
            moveToDisk();
        }
    }
    // Least, median and most; none without a sample. Call once per flow.
    [[nodiscard]] std::optional<FlowConnection::RoundTrips> summary();

private:
    void moveToDisk();

    std::vector<std::int64_t> kept_;
    std::unique_ptr<ExternalSort<std::int64_t, std::less<>>> onDisk_;
    std::size_t mostInMemory_ = 0;
    std::uint64_t count_ = 0;
};

}  // namespace korvo::measurement
