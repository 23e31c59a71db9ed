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

    // Connected after the dispatchers, so that a frame's TCP segment arrives before the frame itself.
    LoadTimeline(EthernetSignal& ethernetSignal, TCPPacketSource& tcpSource)
        : EnetPacketHandler(ethernetSignal), TCPPacketHandler(tcpSource.signal) {}

    void handlePacket(const TCPPacket& packet) override { lastTcpFrame_ = packet.packetNumber; }
    void handlePacket(const EthernetPacket& packet) override;

    [[nodiscard]] const TimeBins& bins() const { return bins_; }

    // Microseconds since 1970 of a capture time.
    [[nodiscard]] static std::int64_t microsOf(boost::posix_time::ptime time);

private:
    TimeBins bins_{kCounters};
    // The number of the last frame that carried a TCP segment; frames are numbered from 1.
    std::uint64_t lastTcpFrame_ = 0;
};

}  // namespace korvo::measurement
