#pragma once
// "NumberIPFragments": IP packets that are pieces of a larger datagram, the first piece included: IPv4 by
// their flags and offset, IPv6 by a fragment header. It listens to the IP dispatcher's fragment emitters,
// which carry nothing else.

#include <cstdint>
#include <string>

#include "capture/PacketSignals.h"
#include "figure/Measurement.h"

namespace korvo::measurement {

class NumberIPFragments : public IPPacketHandler, public IPv6PacketHandler, public Measurement {
public:
    NumberIPFragments(std::string reportedName, IPPacketSource& fragmentSource, bool extended);

    void handlePacket(const IPPacket& packet) override;
    void handlePacket(const IPv6Packet& packet) override;
    [[nodiscard]] std::string getValue() const override;

private:
    void count(std::uint64_t packetNumber, boost::posix_time::ptime captureTime);
};

}  // namespace korvo::measurement
