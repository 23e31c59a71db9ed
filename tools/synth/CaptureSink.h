#pragma once
// Where the traffic models put their frames: stamps each with an advancing capture time, cuts it to the snap
// length or, now and then, slices it short, writes it and counts it, until the capture reaches its size.

#include <cstdint>
#include <span>

#include "tools/PcapWriter.h"
#include "tools/synth/CaptureCounts.h"
#include "tools/synth/Random.h"

namespace korvo::tools::synth {

struct SinkSettings {
    std::uint64_t sizeLimit = 0;
    std::uint32_t snapLength = 262144;
    double truncateShare = 0;
};

class CaptureSink {
public:
    CaptureSink(PcapWriter& writer, Random& random, const SinkSettings& settings);

    // True once the file has reached its size; frames put afterwards are dropped uncounted.
    [[nodiscard]] bool full() const { return writer_.bytesWritten() >= settings_.sizeLimit; }
    void put(std::span<const std::uint8_t> frame, std::uint32_t tags);
    // A segment the sender sent but the capture missed.
    void noteLost();

    [[nodiscard]] const CaptureCounts& counts() const { return counts_; }

private:
    std::uint32_t capturedLength(std::uint32_t wireLength);

    PcapWriter& writer_;
    Random& random_;
    SinkSettings settings_;
    CaptureCounts counts_;
    std::uint64_t nanoseconds_;
};

}  // namespace korvo::tools::synth
