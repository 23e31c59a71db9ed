#pragma once
// "TotalVolumeTCPInB": the wire lengths of the frames that carry a TCP segment, whole frames counted.

#include <cstdint>
#include <string>

#include "capture/PacketSignals.h"
#include "figure/Measurement.h"

namespace korvo::measurement {

class TotalVolumeTCPInB : public Measurement, public TCPPacketHandler {
public:
    TotalVolumeTCPInB(std::string reportedName, TCPPacketSource& tcpSource);

    void handlePacket(const TCPPacket& packet) override { byteCount += packet.length; }
    [[nodiscard]] std::string getValue() const override;

private:
    std::uint64_t byteCount = 0;
};

}  // namespace korvo::measurement
