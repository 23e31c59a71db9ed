#pragma once
// The load over time for the report: per interval of capture time, the frames and their wire bytes, those
// that carry a TCP segment apart from the rest. Memory is that of at most TimeBins::kMostIntervals intervals.

#include <cstdint>

#include "capture/PacketSignals.h"
#include "measurement/TimeBins.h"

namespace korvo::measurement {

class LoadTimeline : public EnetPacketHandler, public TCPPacketHandler {
public:
    enum Counter : std::uint8_t { kTcpFrames, kTcpBytes, kOtherFrames, kOtherBytes, kCounters };

    // A frame carries TCP when the TCP dispatcher passed a segment of it on. The dispatchers are built
    // before any receiver of the frames, so they see each frame, and pass its segment here, before this
    // object sees the frame itself.
    LoadTimeline(EthernetSignal& ethernetSignal, TCPPacketSource& tcpSource)
        : EnetPacketHandler(ethernetSignal), TCPPacketHandler(tcpSource.signal) {}

    void handlePacket(const EthernetPacket& packet) override;
    void handlePacket(const TCPPacket& /*packet*/) override { carriesTcp_ = true; }

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
    // Whether the frame being dispatched carried a TCP segment.
    bool carriesTcp_ = false;
};

}  // namespace korvo::measurement
