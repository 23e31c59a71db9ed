#include "capture/IPPacketDispatcher.h"

namespace korvo::measurement {

using net::ip;

IPPacketDispatcher::IPPacketDispatcher(EthernetSignal& ethernetSignal) : EnetPacketHandler(ethernetSignal) {}

void IPPacketDispatcher::handlePacket(const EthernetPacket& packet) {
    const LinkLayer::Found found =
        linkLayer_.find(reinterpret_cast<const unsigned char*>(packet.header), packet.capturedLength);
    if (found.carried != LinkLayer::Carried::IPv4) {
        ipv6Frames_ += found.carried == LinkLayer::Carried::IPv6 ? 1U : 0U;
        stackedTagFrames_ += found.carried == LinkLayer::Carried::StackedTags ? 1U : 0U;
        return;
    }
    if (packet.capturedLength < found.ipOffset + ip::kFixedLength) {
        return;
    }
    const IPPacket ipPacket = packet.lift<ip>(found.ipOffset);
    if (ipPacket.header->isFragment()) {
        fragmentSource.signal(ipPacket);
    } else {
        signal(ipPacket);
    }
}

}  // namespace korvo::measurement
