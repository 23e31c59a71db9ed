#pragma once
// "TotalVolumeInB": the wire lengths of all frames added up, headers included, truncated frames at their
// full wire length.

#include <cstdint>
#include <string>

#include "capture/PacketSignals.h"
#include "figure/Measurement.h"

namespace korvo::measurement {

class TotalVolume : public Measurement, public EnetPacketHandler {
public:
    TotalVolume(std::string reportedName, EthernetSignal& ethernetSignal);

    void handlePacket(const EthernetPacket& packet) override { partial.bytes += packet.length; }
    [[nodiscard]] std::string getValue() const override;

private:
};

}  // namespace korvo::measurement
