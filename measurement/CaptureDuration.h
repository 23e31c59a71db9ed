#pragma once
// "CaptureDuration": the span from the earliest to the latest capture time of all frames.

#include <string>

#include "capture/PacketSignals.h"
#include "figure/Measurement.h"

namespace korvo::measurement {

class CaptureDuration : public Measurement, public EnetPacketHandler {
public:
    CaptureDuration(std::string reportedName, EthernetSignal& ethernetSignal);

    void handlePacket(const EthernetPacket& packet) override { partial.recordTime(packet.captureTime); }
    [[nodiscard]] std::string getValue() const override;
};

}  // namespace korvo::measurement
