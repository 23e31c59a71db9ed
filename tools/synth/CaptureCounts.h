#pragma once
// What the synthesiser put into a capture, frame by frame: the totals and the anomalies it made. Written
// beside the capture so that benchmarks and checks know, for instance, how many TCP segments it holds.

#include <cstdint>
#include <ostream>

namespace korvo::tools::synth {

// Marks given with every frame; a frame may carry several.
enum FrameTag : std::uint32_t {
    kTagTcp = 1U << 0,  // an unfragmented IPv4 TCP segment
    kTagFlowOpening = 1U << 1,
    kTagVlan = 1U << 2,
    kTagUdp = 1U << 3,
    kTagArp = 1U << 4,
    kTagIpv6 = 1U << 5,
    kTagFragment = 1U << 6,
    kTagJumbo = 1U << 7,  // IP total length above 1500
    kTagDuplicate = 1U << 8,
    kTagReordered = 1U << 9,
    kTagRetransmitted = 1U << 10,
};

class CaptureCounts {
public:
    void countFrame(std::uint32_t capturedBytes, std::uint32_t wireBytes, std::uint32_t tags);
    void countLostSegment() { ++lostSegments_; }
    void setFileBytes(std::uint64_t bytes) { fileBytes_ = bytes; }

    [[nodiscard]] std::uint64_t fileBytes() const { return fileBytes_; }
    [[nodiscard]] std::uint64_t frames() const { return frames_; }
    [[nodiscard]] std::uint64_t tcpSegments() const { return tcpSegments_; }

    // One "name=value" line per count.
    void write(std::ostream& out) const;

private:
    std::uint64_t fileBytes_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t wireBytes_ = 0;
    std::uint64_t capturedBytes_ = 0;
    std::uint64_t tcpSegments_ = 0;
    std::uint64_t tcpFlows_ = 0;
    std::uint64_t lostSegments_ = 0;
    std::uint64_t reorderedSegments_ = 0;
    std::uint64_t duplicatedSegments_ = 0;
    std::uint64_t retransmittedSegments_ = 0;
    std::uint64_t vlanFrames_ = 0;
    std::uint64_t udpFrames_ = 0;
    std::uint64_t arpFrames_ = 0;
    std::uint64_t ipv6Frames_ = 0;
    std::uint64_t ipFragments_ = 0;
    std::uint64_t jumboPackets_ = 0;
    std::uint64_t truncatedFrames_ = 0;
};

}  // namespace korvo::tools::synth
