#pragma once
// One TCP flow as the report lists it: its tuple, its first capture time and duration, its segments and
// data bytes per direction, its anomaly counts, and its retransmissions and connection where they were looked
// for, as its verdict holds them. Data bytes are the TCP payload carried, retransmissions included: the
// report ranks flows by them without keeping anything per flow.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "flow/FlowConnection.h"
#include "flow/FlowRetransmissions.h"
#include "flow/FlowVerdict.h"
#include "flow/SequenceEvaluator.h"
#include "measurement/SequenceGraph.h"

namespace korvo::measurement {

struct FlowLine {
    std::string flow;
    // The number of the flow's first captured segment: of two flows that rank alike, the one seen first
    // comes first.
    std::uint64_t firstPacket = 0;
    // Microseconds since 1970.
    std::int64_t firstTime = 0;
    std::int64_t lastTime = 0;
    std::uint64_t packetsForward = 0;
    std::uint64_t packetsReverse = 0;
    std::uint64_t dataForward = 0;
    std::uint64_t dataReverse = 0;
    std::uint64_t gaps = 0;
    std::uint64_t outOfOrder = 0;
    std::uint64_t duplicates = 0;
    std::optional<FlowRetransmissions> retransmissions;
    std::optional<FlowConnection> connection;
    // Drawn for the report's lists; shared by the lists that hold the flow.
    std::shared_ptr<const SequenceGraph> graph;

    [[nodiscard]] bool simplex() const { return packetsForward == 0 || packetsReverse == 0; }
    [[nodiscard]] std::uint64_t dataBytes() const { return dataForward + dataReverse; }
    // Gaps, out-of-order segments, duplicates and, where they were looked for, retransmissions.
    [[nodiscard]] std::uint64_t anomalies() const {
        return gaps + outOfOrder + duplicates + (retransmissions ? retransmissions->retransmissions : 0);
    }
    [[nodiscard]] std::uint64_t resets() const { return connection ? connection->allResets() : 0; }
    [[nodiscard]] std::uint64_t longestStall() const {
        return connection ? static_cast<std::uint64_t>(connection->longestStall) : 0;
    }

    // The line of `flow`, judged as `verdict`.
    [[nodiscard]] static FlowLine of(const SequenceEvaluator& flow, const FlowVerdict& verdict);
};

}  // namespace korvo::measurement
