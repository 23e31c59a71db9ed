#pragma once
// Lifts IPv4 packets of protocol 6 to TCP segments, skipping IP options by the header length nibble, and
// IPv6 packets whose extension headers lead to TCP. A segment whose fixed TCP header was not captured in
// full is not handed on.

#include "capture/PacketSignals.h"

namespace korvo::measurement {

class TCPPacketDispatcher : public IPPacketHandler, public IPv6PacketHandler, public TCPPacketSource {
public:
    explicit TCPPacketDispatcher(IPPacketSource& ipSource);

    void handlePacket(const IPPacket& packet) override;
    void handlePacket(const IPv6Packet& packet) override;

    // Whether `packet` is TCP with its fixed TCP header inside the captured bytes. The flow table files
    // exactly the packets that pass this test.
    [[nodiscard]] static bool carriesTcpHeader(const IPPacket& packet);
    [[nodiscard]] static bool carriesTcpHeader(const IPv6Packet& packet);
};

}  // namespace korvo::measurement
