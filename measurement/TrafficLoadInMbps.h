#pragma once
// "TrafficLoadInMbps": the mean load over the capture span, bits per microsecond being megabits per second.

#include <cstdint>
#include <string>

#include "capture/PacketSignals.h"
#include "figure/Measurement.h"

namespace korvo::measurement {

class TrafficLoadInMbps : public Measurement, public EnetPacketHandler {
public:
    TrafficLoadInMbps(std::string reportedName, EthernetSignal& ethernetSignal);

    void handlePacket(const EthernetPacket& packet) override {
        partial.bytes += packet.length;
        partial.recordTime(packet.captureTime);
    }
    // Six significant digits as a default stream writes them. A zero span gives "inf", or "nan" when no
    // byte was seen either.
    [[nodiscard]] std::string getValue() const override;

private:
};

}  // namespace korvo::measurement
