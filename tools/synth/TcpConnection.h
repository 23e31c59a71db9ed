#pragma once
// One TCP connection from handshake to teardown: the client sends a request, the server a response, each
// in segments of mixed sizes acknowledged every second segment, then both sides close with FIN. Each step
// writes the connection's next frame or frames; data segments are now and then lost, reordered, duplicated
// or retransmitted.

#include <cstdint>

#include "tools/synth/CaptureSink.h"
#include "tools/synth/FrameEncoder.h"
#include "tools/synth/Random.h"

namespace korvo::tools::synth {

struct ConnectionPlan {
    std::uint32_t clientAddress = 0;
    std::uint32_t serverAddress = 0;
    std::uint16_t clientPort = 0;
    std::uint16_t serverPort = 0;
    std::uint16_t vlanId = 0;
    // Carried over IPv6, between the addresses of the documentation prefix that end in the IPv4 ones.
    bool ipv6 = false;
    std::uint32_t maximumSegment = 1460;
    std::uint64_t requestBytes = 1;
    std::uint64_t responseBytes = 1;
};

// Shares of data segments, each in [0, 1] and together at most 1.
struct AnomalyShares {
    double loss = 0;
    double reorder = 0;
    double duplicate = 0;
    double retransmit = 0;
};

class TcpConnection {
public:
    // A finished connection, to be replaced by a new one.
    TcpConnection() = default;
    TcpConnection(const ConnectionPlan& plan, Random& random);

    [[nodiscard]] bool done() const { return phase_ == Phase::Done; }
    void step(FrameEncoder& encoder, CaptureSink& sink, Random& random, const AnomalyShares& shares);

private:
    enum class Phase {
        Syn,
        SynAck,
        HandshakeAck,
        Request,
        Response,
        ClientFin,
        ServerAck,
        ServerFin,
        ClientAck,
        Done
    };

    struct Side {
        std::uint32_t address = 0;
        std::uint16_t port = 0;
        std::uint32_t nextSequence = 0;
        std::uint16_t nextIdentification = 0;
        std::uint64_t bytesLeft = 0;
        std::uint32_t unacknowledged = 0;
        std::uint32_t lastSequence = 0;
        std::uint32_t lastLength = 0;
    };

    void sendControl(Side& from, const Side& to, std::uint8_t flags, FrameEncoder& encoder,
                     CaptureSink& sink);
    void sendData(Side& from, Side& to, FrameEncoder& encoder, CaptureSink& sink, Random& random,
                  const AnomalyShares& shares);
    std::uint32_t nextPayload(const Side& from, Random& random) const;
    TcpSegment segment(const Side& from, const Side& to, std::uint32_t sequence, std::uint32_t payload,
                       std::uint8_t flags) const;

    Phase phase_ = Phase::Done;
    Side client_;
    Side server_;
    std::uint16_t vlanId_ = 0;
    bool ipv6_ = false;
    std::uint32_t maximumSegment_ = 1460;
};

}  // namespace korvo::tools::synth
