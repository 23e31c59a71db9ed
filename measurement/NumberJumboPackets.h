#pragma once
// "NumberJumboIPPackets": unfragmented IP packets longer than 1500 bytes: IPv4 by their total length, IPv6 by
// 40 plus their payload length or jumbo payload length; by their frame where offload left the length 0.

#include <cstdint>
#include <string>

#include "capture/PacketSignals.h"
#include "figure/Measurement.h"

namespace korvo::measurement {

class NumberJumboPackets : public IPPacketHandler, public IPv6PacketHandler, public Measurement {
public:
    static constexpr std::uint32_t kJumboThreshold = 1500;

    NumberJumboPackets(std::string reportedName, IPPacketSource& ipSource, bool extended);

    void handlePacket(const IPPacket& packet) override;
    void handlePacket(const IPv6Packet& packet) override;
    [[nodiscard]] std::string getValue() const override;

private:
    template <typename Packet>
    void count(const Packet& packet, std::uint32_t length);
};

}  // namespace korvo::measurement
