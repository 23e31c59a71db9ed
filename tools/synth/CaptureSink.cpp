#include "tools/synth/CaptureSink.h"

namespace korvo::tools::synth {

namespace {

// 2024-01-01 00:00:00 UTC.
constexpr std::uint64_t kStartSeconds = 1704067200;
constexpr std::uint64_t kNanosecondsPerSecond = 1'000'000'000;
// A 1 Gbit/s link puts a byte on the wire every 8 ns; the gaps between frames vary up to this much.
constexpr std::uint64_t kNanosecondsPerByte = 8;
constexpr std::uint64_t kLargestIdleNanoseconds = 20'000;
// Sliced frames keep their link, IP and TCP or UDP headers.
constexpr std::uint32_t kShortestSlice = 64;

}  // namespace

CaptureSink::CaptureSink(PcapWriter& writer, Random& random, const SinkSettings& settings)
    : writer_(writer),
      random_(random),
      settings_(settings),
      nanoseconds_(kStartSeconds * kNanosecondsPerSecond) {}

void CaptureSink::put(std::span<const std::uint8_t> frame, std::uint32_t tags) {
    if (full()) {
        return;
    }
    Encapsulator::Frame wrapped;
    if (!settings_.tunnels.empty()) {
        wrapped.captured.assign(frame.begin(), frame.end());
        wrapped.wireLength = static_cast<std::uint32_t>(frame.size());
        wrapped = Encapsulator::wrap(settings_.tunnels[nextTunnel_], wrapped);
        nextTunnel_ = (nextTunnel_ + 1) % settings_.tunnels.size();
        frame = wrapped.captured;
    }
    const auto wireLength = static_cast<std::uint32_t>(frame.size());
    nanoseconds_ += wireLength * kNanosecondsPerByte + random_.below(kLargestIdleNanoseconds);
    const std::uint64_t microseconds = nanoseconds_ / 1000;
    const std::uint32_t captured = capturedLength(wireLength);
    writer_.writeRecord(static_cast<std::uint32_t>(microseconds / 1'000'000),
                        static_cast<std::uint32_t>(microseconds % 1'000'000), frame.first(captured),
                        wireLength);
    counts_.countFrame(captured, wireLength, tags);
}

void CaptureSink::noteLost() {
    if (!full()) {
        counts_.countLostSegment();
    }
}

std::uint32_t CaptureSink::capturedLength(std::uint32_t wireLength) {
    if (wireLength > settings_.snapLength) {
        return settings_.snapLength;
    }
    if (wireLength > kShortestSlice && random_.chance(settings_.truncateShare)) {
        return static_cast<std::uint32_t>(random_.between(kShortestSlice, wireLength - 1));
    }
    return wireLength;
}

}  // namespace korvo::tools::synth
