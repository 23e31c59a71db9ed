#include "measurement/NumberIPFragments.h"

#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

NumberIPFragments::NumberIPFragments(std::string reportedName, IPPacketSource& fragmentSource,
                                     bool extendedStatistics)
    : IPPacketHandler(fragmentSource.signal),
      IPv6PacketHandler(fragmentSource.ipv6Signal),
      Measurement(std::move(reportedName), extendedStatistics) {}

void NumberIPFragments::handlePacket(const IPPacket& packet) {
    if (packet.header->isFragment()) {
        count(packet.packetNumber, packet.captureTime);
    }
}

void NumberIPFragments::handlePacket(const IPv6Packet& packet) {
    count(packet.packetNumber, packet.captureTime);
}

void NumberIPFragments::count(std::uint64_t packetNumber, boost::posix_time::ptime captureTime) {
    ++partial.count;
    if (extended) {
        DetailRow(partial.rows).packet(packetNumber, captureTime).end();
    }
}

std::string NumberIPFragments::getValue() const {
    return std::to_string(partial.count);
}

}  // namespace korvo::measurement
