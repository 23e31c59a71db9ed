#pragma once
// Lifts Ethernet frames to IPv4 packets. Unfragmented packets, plain or behind one 802.1Q tag, go to the
// receivers of `signal`; fragments go to those of `fragmentSource` only. A frame whose captured bytes do not
// hold the whole fixed IPv4 header is handed on to neither.

#include "capture/PacketSignals.h"

namespace korvo::measurement {

class IPPacketDispatcher : public EnetPacketHandler, public IPPacketSource {
public:
    explicit IPPacketDispatcher(EthernetSignal& ethernetSignal);

    void handlePacket(const EthernetPacket& packet) override;

    IPPacketSource fragmentSource;
};

}  // namespace korvo::measurement
