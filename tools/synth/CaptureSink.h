#pragma once
// Where the traffic models put their frames: stamps each with an advancing capture time, cuts it to the snap
// length or, now and then, slices it short, writes it and counts it, until the capture reaches its size.
// Frames may be wrapped in encapsulations first, as a tunnel or a mirroring session would deliver them.

#include <cstdint>
#include <span>
#include <vector>

#include "tools/Encapsulator.h"
#include "tools/PcapWriter.h"
#include "tools/synth/CaptureCounts.h"
#include "tools/synth/Random.h"

namespace korvo::tools::synth {

struct SinkSettings {
    std::uint64_t sizeLimit = 0;
    std::uint32_t snapLength = 262144;
    double truncateShare = 0;
    // Each frame is wrapped in the next of these encapsulations, by turn; none when empty.
    std::vector<Encapsulator::Kind> tunnels;
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
    std::size_t nextTunnel_ = 0;
};

}  // namespace korvo::tools::synth
