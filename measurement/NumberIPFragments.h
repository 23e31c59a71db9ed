#pragma once
// "NumberIPFragments": IPv4 packets that are pieces of a larger datagram, the first piece included. It
// listens to the IP dispatcher's fragment emitter, which carries nothing else.

#include <cstdint>

#include "capture/PacketSignals.h"
#include "report/Measurement.h"

namespace korvo::measurement {

class NumberIPFragments : public IPPacketHandler, public Measurement {
public:
    NumberIPFragments(IPPacketSource& fragmentSource, bool extended);

    void handlePacket(const IPPacket& packet) override;
    [[nodiscard]] std::string getValue() const override;

private:
    std::uint64_t tally = 0;
};

}  // namespace korvo::measurement
