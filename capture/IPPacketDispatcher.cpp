#include "capture/IPPacketDispatcher.h"

namespace korvo::measurement {

using net::ether_header;
using net::ip;

IPPacketDispatcher::IPPacketDispatcher(EthernetSignal& ethernetSignal) : EnetPacketHandler(ethernetSignal) {}

void IPPacketDispatcher::handlePacket(const EthernetPacket& packet) {
    if (packet.capturedLength < ether_header::kLength) {
        return;
    }
    std::uint32_t ipOffset = ether_header::kLength;
    switch (packet.header->etherTypeHost()) {
        case ether_header::kEtherTypeIPv4:
            break;
        case ether_header::kEtherTypeVlan:
            // The EtherType inside the tag is not examined: every tagged frame is taken as IPv4.
            ipOffset += ether_header::kVlanTagLength;
            break;
        default:
            return;
    }
    if (packet.capturedLength < ipOffset + ip::kFixedLength) {
        return;
    }
    const IPPacket ipPacket = packet.lift<ip>(ipOffset);
    if (ipPacket.header->isFragment()) {
        fragmentSource.signal(ipPacket);
    } else {
        signal(ipPacket);
    }
}

}  // namespace korvo::measurement
