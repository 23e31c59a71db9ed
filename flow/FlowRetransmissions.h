#pragma once
// What one TCP flow holds of retransmissions, over both directions, and how long its handshake took where it
// was captured.

#include <cstdint>
#include <optional>

namespace korvo::measurement {

struct FlowRetransmissions {
    // The handshake's two halves, in microseconds: from the SYN to the SYN-ACK that answers it, and from
    // that SYN-ACK to the ACK that completes the handshake. Where SYNs were sent again, from the last one.
    struct Handshake {
        std::int64_t synToSynAck = 0;
        std::int64_t synAckToAck = 0;
    };

    std::uint64_t retransmissions = 0;
    // Of those, the ones the flow's reverse direction sent.
    std::uint64_t reverseRetransmissions = 0;
    std::uint64_t retransmittedBytes = 0;
    std::uint64_t spurious = 0;
    std::optional<Handshake> handshake;
};

}  // namespace korvo::measurement
