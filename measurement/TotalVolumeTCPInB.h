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

    void handlePacket(const TCPPacket& packet) override { partial.bytes += packet.length; }
    [[nodiscard]] std::string getValue() const override;

private:
};

}  // namespace korvo::measurement
