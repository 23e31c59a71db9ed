#include "measurement/NumberIPFragments.h"

#include "report/DetailRow.h"

namespace korvo::measurement {

NumberIPFragments::NumberIPFragments(IPPacketSource& fragmentSource, bool extendedStatistics)
    : IPPacketHandler(fragmentSource.signal), Measurement("NumberIPFragments", extendedStatistics) {}

void NumberIPFragments::handlePacket(const IPPacket& packet) {
    if (!packet.header->isFragment()) {
        return;
    }
    ++tally;
    if (extended) {
        DetailRow(details).packet(packet.packetNumber, packet.captureTime).end();
    }
}

std::string NumberIPFragments::getValue() const {
    return std::to_string(tally);
}

}  // namespace korvo::measurement
