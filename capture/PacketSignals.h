#pragma once
// The packet levels' wrappers, emitters and receiver bases: frames, IPv4 and IPv6 packets, TCP segments. The
// Ethernet level has no source class: the run owns a bare EthernetSignal that the loader emits into.

#include "capture/PacketHeaderWrapper.h"
#include "capture/Signal.h"
#include "net/EtherHeader.h"
#include "net/IpHeader.h"
#include "net/Ipv6Header.h"
#include "net/TcpHeader.h"

namespace korvo::measurement {

using EthernetPacket = PacketHeaderWrapper<const net::ether_header*>;
using IPPacket = PacketHeaderWrapper<const net::ip*>;
using TCPPacket = PacketHeaderWrapper<const net::tcphdr*>;

// An IPv6 packet whose extension headers have been walked.
struct IPv6Packet : PacketHeaderWrapper<const net::ip6*> {
    // The protocol after the extension headers; meaningful only where `reached`.
    std::uint8_t transportProtocol;
    bool reached;
    // Where the transport header starts, from the IPv6 header's first byte; for a fragment, where its
    // fragment header starts.
    std::uint32_t transportOffset;
    // The packet's length, the fixed header included: 40 plus the payload length or, for a jumbogram, its
    // jumbo payload length; where both are 0 (a packet handed to the capture before segmentation offload
    // cut it up), the frame's wire length behind the link header.
    std::uint32_t datagramLength;
    // Whether a fragment header makes it a piece of a larger datagram.
    bool fragment = false;
};

using EthernetSignal = Signal<EthernetPacket>;
using IPSignal = Signal<IPPacket>;
using TCPSignal = Signal<TCPPacket>;
using IPv6Signal = Signal<IPv6Packet>;

using EnetPacketHandler = Receiver<EthernetPacket>;
using IPPacketHandler = Receiver<IPPacket>;
using TCPPacketHandler = Receiver<TCPPacket>;
using IPv6PacketHandler = Receiver<IPv6Packet>;

// IPv4 packets on `signal`; IPv6 packets, when the run analyses them, on `ipv6Signal`.
struct IPPacketSource {
    IPSignal signal;
    IPv6Signal ipv6Signal;
};

struct TCPPacketSource {
    TCPSignal signal;
};

}  // namespace korvo::measurement
