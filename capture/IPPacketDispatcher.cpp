#include "capture/IPPacketDispatcher.h"

#include <algorithm>
#include <limits>

#include "capture/Ipv6HeaderChain.h"

namespace korvo::measurement {

using net::ip;
using net::ip6;

IPPacketDispatcher::IPPacketDispatcher(EthernetSignal& ethernetSignal) : EnetPacketHandler(ethernetSignal) {}

void IPPacketDispatcher::handlePacket(const EthernetPacket& packet) {
    const LinkLayer::Found found =
        linkLayer_.find(reinterpret_cast<const unsigned char*>(packet.header), packet.capturedLength);
    if (found.carried != LinkLayer::Carried::IPv4) {
        if (found.carried == LinkLayer::Carried::IPv6 && ipv6_) {
            handleIpv6(packet, found.ipOffset);
            return;
        }
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

void IPPacketDispatcher::handleIpv6(const EthernetPacket& packet, std::uint32_t ipOffset) {
    if (packet.capturedLength < ipOffset || packet.capturedLength - ipOffset < ip6::kFixedLength) {
        return;
    }
    const PacketHeaderWrapper<const ip6*> lifted = packet.lift<ip6>(ipOffset);
    const Ipv6HeaderChain::Walk walk =
        Ipv6HeaderChain::walk(reinterpret_cast<const unsigned char*>(lifted.header), lifted.capturedLength);
    std::uint32_t length = lifted.header->payloadLengthHost();
    if (length == 0) {
        length = walk.jumboPayloadLength;
    }
    if (length != 0) {
        length = std::min(length, std::numeric_limits<std::uint32_t>::max() - ip6::kFixedLength) +
                 ip6::kFixedLength;
    } else {
        length = packet.length > ipOffset ? packet.length - ipOffset : 0;
    }
    const IPv6Packet ipv6Packet{lifted, walk.transportProtocol, walk.reached, walk.transportOffset, length};
    if (walk.fragment) {
        fragmentSource.ipv6Signal(ipv6Packet);
    } else {
        ipv6Signal(ipv6Packet);
    }
}

}  // namespace korvo::measurement
