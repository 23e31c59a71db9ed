#include "measurement/NumberJumboPackets.h"

#include "capture/IPPacketDispatcher.h"
#include "report/DetailRow.h"

namespace korvo::measurement {

NumberJumboPackets::NumberJumboPackets(IPPacketSource& ipSource, bool extendedStatistics)
    : IPPacketHandler(ipSource.signal), Measurement("NumberJumboIPPackets", extendedStatistics) {}

void NumberJumboPackets::handlePacket(const IPPacket& packet) {
    const std::uint32_t length = IPPacketDispatcher::packetLength(packet);
    if (length <= kJumboThreshold) {
        return;
    }
    ++tally;
    if (extended) {
        DetailRow(details)
            .packet(packet.packetNumber, packet.captureTime)
            .text(",IP Packet Length,")
            .number(length)
            .end();
    }
}

std::string NumberJumboPackets::getValue() const {
    return std::to_string(tally);
}

}  // namespace korvo::measurement
