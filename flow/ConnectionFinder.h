#pragma once
// Finds how one TCP flow's connection went (FlowConnection). One walk over both directions in capture order
// follows the flags of the last connection on the flow's addresses and ports, counts resets and zero-window
// stalls, and takes round-trip samples: from a data segment that opened new sequence space to the first
// acknowledgement from the other side that covers it, dropping every sample that a later segment of the
// same range makes ambiguous (a retransmission or a reordering), keep-alives and probes never sampled. A
// walk in sequence order per direction finds the distinct data bytes and the holes.

#include <array>
#include <cstdint>
#include <vector>

#include "flow/FlowConnection.h"
#include "flow/RoundTripSamples.h"
#include "flow/SequenceAnchor.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

class ConnectionFinder {
public:
    [[nodiscard]] FlowConnection find(const SequenceEvaluator& flow);

private:
    // What one side of the current connection has sent.
    struct Sent {
        bool any = false;
        bool pureSyn = false;
        bool synAck = false;
        bool fin = false;
        bool rst = false;
    };
    // The flags of the connection being followed.
    struct Connection {
        std::array<Sent, 2> sent{};
        // The side of the first SYN without ACK, of the first SYN-ACK and of the first RST; 2 for none.
        std::size_t firstPureSyn = 2;
        std::size_t firstSynAck = 2;
        std::size_t firstRst = 2;
    };
    // A data segment waiting for its acknowledgement.
    struct Pending {
        std::int64_t end = 0;
        std::int64_t time = 0;
    };
    // One direction's place in its sequence space, for the round trips.
    struct Progress {
        bool reached = false;
        std::int64_t furthest = 0;
        SequenceAnchor last;
        // The segments not yet acknowledged from `acknowledgedUpTo` on, ascending by end.
        std::vector<Pending> pending;
        std::size_t acknowledgedUpTo = 0;
    };

    static void note(Connection& connection, std::size_t side, const SegmentRecord& segment);
    [[nodiscard]] static FlowConnection::State outcome(const Connection& connection);
    // Whether a SYN marked as a connection start is the SYN-ACK that answers the connection being followed.
    [[nodiscard]] static bool answers(const Connection& connection, std::size_t side,
                                      const SegmentRecord& segment);
    // Samples what `ack`, from the other side, acknowledges of `progress`'s direction.
    void acknowledge(Progress& progress, const SegmentRecord& ack);
    // The distinct data bytes of a direction; adds its holes to `missed`.
    static std::uint64_t dataBytes(const SequenceEvaluator& flow, std::size_t side, std::uint64_t& missed);

    std::array<Progress, 2> progress_;
    RoundTripSamples samples_;
};

}  // namespace korvo::measurement
