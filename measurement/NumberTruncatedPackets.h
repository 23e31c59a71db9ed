#pragma once
// "NumberOfTruncatedPackets": frames whose captured length differs from their wire length, one row per frame
// with its number. It receives the frames as they are read, before anything shortens the copies it is given.

#include <cstdint>
#include <string>

#include "capture/PacketSignals.h"
#include "figure/Measurement.h"

namespace korvo::measurement {

class NumberTruncatedPackets : public Measurement, public EnetPacketHandler {
public:
    NumberTruncatedPackets(std::string reportedName, EthernetSignal& readFrames, bool extendedStatistics);

    void handlePacket(const EthernetPacket& packet) override;
    [[nodiscard]] std::string getValue() const override;

private:
};

}  // namespace korvo::measurement
