#include "measurement/NumberJumboPackets.h"

#include <utility>

#include "capture/IPPacketDispatcher.h"
#include "figure/DetailRow.h"

namespace korvo::measurement {

NumberJumboPackets::NumberJumboPackets(std::string reportedName, IPPacketSource& ipSource,
                                       bool extendedStatistics)
    : IPPacketHandler(ipSource.signal),
      IPv6PacketHandler(ipSource.ipv6Signal),
      Measurement(std::move(reportedName), extendedStatistics) {}

void NumberJumboPackets::handlePacket(const IPPacket& packet) {
    count(packet, IPPacketDispatcher::packetLength(packet));
}

void NumberJumboPackets::handlePacket(const IPv6Packet& packet) {
    count(packet, packet.datagramLength);
}

template <typename Packet>
void NumberJumboPackets::count(const Packet& packet, std::uint32_t length) {
    if (length <= kJumboThreshold) {
        return;
    }
    ++partial.count;
    if (extended) {
        DetailRow(partial.rows)
            .packet(packet.packetNumber, packet.captureTime)
            .text(",IP Packet Length,")
            .number(length)
            .end();
    }
}

std::string NumberJumboPackets::getValue() const {
    return std::to_string(partial.count);
}

}  // namespace korvo::measurement
