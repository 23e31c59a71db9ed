#pragma once
// The traffic beside the TCP connections: DNS lookups over UDP, ARP requests and replies, IPv6 service
// discovery, and large UDP datagrams that travel as IP fragments. Each call writes one such exchange.

#include "tools/synth/CaptureSink.h"
#include "tools/synth/FrameEncoder.h"
#include "tools/synth/Random.h"

namespace korvo::tools::synth {

class BackgroundTraffic {
public:
    void emit(FrameEncoder& encoder, CaptureSink& sink, Random& random);

private:
    void dnsLookup(FrameEncoder& encoder, CaptureSink& sink, Random& random);
    void arpExchange(FrameEncoder& encoder, CaptureSink& sink, Random& random);
    void serviceDiscovery(FrameEncoder& encoder, CaptureSink& sink, Random& random);
    void fragmentedDatagram(FrameEncoder& encoder, CaptureSink& sink, Random& random);
};

}  // namespace korvo::tools::synth
