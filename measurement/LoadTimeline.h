#pragma once
// The load over time for the report: per interval of capture time, the frames and their wire bytes, those
// that carry a TCP segment apart from the rest. Memory is that of at most TimeBins::kMostIntervals intervals.

#include <cstdint>

#include "capture/PacketSignals.h"
#include "measurement/TimeBins.h"
#include "measurement/TotalVolumeTCPInB.h"

namespace korvo::measurement {

class LoadTimeline : public EnetPacketHandler {
public:
    enum Counter : std::uint8_t { kTcpFrames, kTcpBytes, kOtherFrames, kOtherBytes, kCounters };

    // A frame carries TCP when `tcpVolume` grew while it went through the dispatchers, which are connected
    // before this object and so see each frame first; the TCP bytes of the intervals then add up to that
    // figure exactly.
    LoadTimeline(EthernetSignal& ethernetSignal, const TotalVolumeTCPInB& tcpVolume)
        : EnetPacketHandler(ethernetSignal), tcpVolume_(tcpVolume) {}

    void handlePacket(const EthernetPacket& packet) override;

    [[nodiscard]] const TimeBins& bins() const { return bins_; }

    // Microseconds since 1970 of a capture time.
    [[nodiscard]] static std::int64_t microsOf(boost::posix_time::ptime time);

private:
    // Out of line: most frames need no call.
    [[gnu::noinline]] void findInterval(boost::posix_time::ptime time);

    TimeBins bins_{kCounters};
    // The interval found last, as capture times, and its counters: most frames fall in it, and comparing
    // capture times costs less than converting them.
    boost::posix_time::ptime lastStart_;
    boost::posix_time::ptime lastEnd_;
    std::uint64_t* lastCounts_ = nullptr;
    const TotalVolumeTCPInB& tcpVolume_;
    // Its count after the frame before.
    std::uint64_t tcpBytesBefore_ = 0;
};

}  // namespace korvo::measurement
