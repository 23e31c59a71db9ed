#pragma once
// The three packet levels' wrappers, emitters and receiver bases. The Ethernet level has no source class:
// the run owns a bare EthernetSignal that the loader emits into.

#include "capture/PacketHeaderWrapper.h"
#include "capture/Signal.h"
#include "net/EtherHeader.h"
#include "net/IpHeader.h"
#include "net/TcpHeader.h"

namespace korvo::measurement {

using EthernetPacket = PacketHeaderWrapper<const net::ether_header*>;
using IPPacket = PacketHeaderWrapper<const net::ip*>;
using TCPPacket = PacketHeaderWrapper<const net::tcphdr*>;

using EthernetSignal = Signal<EthernetPacket>;
using IPSignal = Signal<IPPacket>;
using TCPSignal = Signal<TCPPacket>;

using EnetPacketHandler = Receiver<EthernetPacket>;
using IPPacketHandler = Receiver<IPPacket>;
using TCPPacketHandler = Receiver<TCPPacket>;

struct IPPacketSource {
    IPSignal signal;
};

struct TCPPacketSource {
    TCPSignal signal;
};

}  // namespace korvo::measurement
