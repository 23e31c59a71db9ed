#pragma once
// The realistic capture: a fixed number of TCP connections in progress at once, each step advancing one of
// them chosen at random (a finished one is replaced by a new connection), with other traffic in between.
// Connections differ in direction, size, VLAN tag and segment size.

#include <cstdint>
#include <vector>

#include "tools/synth/BackgroundTraffic.h"
#include "tools/synth/CaptureSink.h"
#include "tools/synth/FrameEncoder.h"
#include "tools/synth/Random.h"
#include "tools/synth/TcpConnection.h"

namespace korvo::tools::synth {

struct MixSettings {
    std::uint32_t concurrency = 64;
    double vlanShare = 0;           // of connections
    double jumboShare = 0;          // of connections, which then send 9000-byte IP packets
    double otherShare = 0;          // of steps that write non-TCP traffic instead
    double ipv6Share = 0;           // of connections, carried over IPv6
    std::uint64_t maxTransfer = 1;  // largest request or response, in bytes
    AnomalyShares anomalies;
};

class TrafficMix {
public:
    TrafficMix(const MixSettings& settings, Random& random);

    void step(FrameEncoder& encoder, CaptureSink& sink);

private:
    ConnectionPlan nextPlan();

    MixSettings settings_;
    Random& random_;
    std::vector<TcpConnection> connections_;
    BackgroundTraffic background_;
    std::uint64_t opened_ = 0;
};

}  // namespace korvo::tools::synth
