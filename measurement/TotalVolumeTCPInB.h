#pragma once
// "TotalVolumeTCPInB": the wire lengths of the frames that carry a TCP segment, whole frames counted.

#include <cstdint>

#include "capture/PacketSignals.h"
#include "report/Measurement.h"

namespace korvo::measurement {

class TotalVolumeTCPInB : public Measurement, public TCPPacketHandler {
public:
    explicit TotalVolumeTCPInB(TCPPacketSource& tcpSource);

    void handlePacket(const TCPPacket& packet) override { byteCount += packet.length; }
    [[nodiscard]] std::string getValue() const override;
    // The bytes counted so far.
    [[nodiscard]] std::uint64_t bytes() const { return byteCount; }

private:
    std::uint64_t byteCount = 0;
};

}  // namespace korvo::measurement
