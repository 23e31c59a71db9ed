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
    ++tally;
    if (extended) {
        DetailRow(details).text("Packet Number,").number(packet.packetNumber).end();
    }
}

std::string NumberTruncatedPackets::getValue() const {
    return std::to_string(tally);
}

}  // namespace korvo::measurement
