#pragma once
// "NumberJumboIPPackets": unfragmented IPv4 packets longer than 1500 bytes (by their total length, or by
// their frame where offload left the total length 0).

#include <cstdint>

#include "capture/PacketSignals.h"
#include "report/Measurement.h"

namespace korvo::measurement {

class NumberJumboPackets : public IPPacketHandler, public Measurement {
public:
    static constexpr std::uint32_t kJumboThreshold = 1500;

    NumberJumboPackets(IPPacketSource& ipSource, bool extended);

    void handlePacket(const IPPacket& packet) override;
    [[nodiscard]] std::string getValue() const override;

private:
    std::uint64_t tally = 0;
};

}  // namespace korvo::measurement
