#include "capture/TCPPacketDispatcher.h"

namespace korvo::measurement {

using net::ip;
using net::tcphdr;

TCPPacketDispatcher::TCPPacketDispatcher(IPPacketSource& ipSource)
    : IPPacketHandler(ipSource.signal), IPv6PacketHandler(ipSource.ipv6Signal) {}

bool TCPPacketDispatcher::carriesTcpHeader(const IPPacket& packet) {
    // The header length is not validated: an IHL below 5 puts the TCP header inside the IP header, which
    // is still captured and so still safe to read.
    return packet.header->protocol == ip::kProtocolTcp &&
           packet.capturedLength >= packet.header->headerLength() + tcphdr::kFixedLength;
}

bool TCPPacketDispatcher::carriesTcpHeader(const IPv6Packet& packet) {
    // The walk never leaves the captured bytes, so the transport offset is at most the captured length.
    return packet.reached && packet.transportProtocol == ip::kProtocolTcp &&
           packet.capturedLength - packet.transportOffset >= tcphdr::kFixedLength;
}

void TCPPacketDispatcher::handlePacket(const IPPacket& packet) {
    if (carriesTcpHeader(packet)) {
        signal(packet.lift<tcphdr>(packet.header->headerLength()));
    }
}

void TCPPacketDispatcher::handlePacket(const IPv6Packet& packet) {
    if (carriesTcpHeader(packet)) {
        signal(packet.lift<tcphdr>(packet.transportOffset));
    }
}

}  // namespace korvo::measurement
