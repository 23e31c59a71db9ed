#include "measurement/NumberJumboPackets.h"

#include "measurement/DetailRow.h"

namespace korvo::measurement {

NumberJumboPackets::NumberJumboPackets(IPPacketSource& ipSource, bool extendedStatistics)
    : IPPacketHandler(ipSource.signal), Measurement("NumberJumboIPPackets", extendedStatistics) {}

void NumberJumboPackets::handlePacket(const IPPacket& packet) {
    const std::uint16_t totalLength = packet.header->totalLengthHost();
    if (totalLength <= kJumboThreshold) {
        return;
    }
    ++tally;
    if (extended) {
        DetailRow(details)
            .packet(packet.packetNumber, packet.captureTime)
            .text(",IP Packet Length,")
            .number(totalLength)
            .end();
    }
}

std::string NumberJumboPackets::getValue() const {
    return std::to_string(tally);
}

}  // namespace korvo::measurement
