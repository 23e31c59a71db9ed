#include "measurement/NumberTruncatedPackets.h"

#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

NumberTruncatedPackets::NumberTruncatedPackets(std::string reportedName, EthernetSignal& readFrames,
                                               bool extendedStatistics)
    : Measurement(std::move(reportedName), extendedStatistics), EnetPacketHandler(readFrames) {}

void NumberTruncatedPackets::handlePacket(const EthernetPacket& packet) {
    if (packet.length == packet.capturedLength) {
        return;
    }
    ++partial.count;
    if (extended) {
        DetailRow(partial.rows).text("Packet Number,").number(packet.packetNumber).end();
    }
}

std::string NumberTruncatedPackets::getValue() const {
    return std::to_string(partial.count);
}

}  // namespace korvo::measurement
