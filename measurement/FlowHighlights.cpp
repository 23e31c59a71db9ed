#include "measurement/FlowHighlights.h"

#include <algorithm>

namespace korvo::measurement {

FlowHighlights::FlowHighlights(SequenceEvaluatorSource& source, const TimeBins& loadBins)
    : SequenceEvaluatorHandler(source), loadBins_(loadBins) {}

void FlowHighlights::align() {
    if (!state_.aligned) {
        state_.anomalies = TimeBins::alignedWith(loadBins_, kCounters);
        state_.aligned = true;
    }
}

void FlowHighlights::handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) {
    // The capture has been read when the first flow comes: the intervals are final.
    align();
    // The keys first, each in one short pass or less; a flow's whole line only where it ranks.
    using Anomaly = FlowVerdict::Anomaly;
    const std::uint64_t firstPacket = flow.firstPacket();
    const std::uint64_t data = flow.dataBytes(0) + flow.dataBytes(1);
    const std::uint64_t anomalies = verdict.count(Anomaly::kGaps) + verdict.count(Anomaly::kOutOfOrder) +
                                    verdict.count(Anomaly::kRepeats) +
                                    (verdict.retransmissions ? verdict.retransmissions->retransmissions : 0);
    const FlowConnection* connection = verdict.connection ? &*verdict.connection : nullptr;
    const std::uint64_t resets = connection != nullptr ? connection->allResets() : 0;
    const bool stalled = connection != nullptr && connection->allZeroWindows() != 0;
    const std::uint64_t stall = stalled ? static_cast<std::uint64_t>(connection->longestStall) : 0;
    const bool byData = data != 0 && ranks(state_.mostData, data, firstPacket, &FlowLine::dataBytes);
    const bool byAnomalies =
        anomalies != 0 && ranks(state_.mostAnomalies, anomalies, firstPacket, &FlowLine::anomalies);
    const bool byResets = resets != 0 && ranks(state_.mostResets, resets, firstPacket, &FlowLine::resets);
    const bool byStall = stalled && ranks(state_.longestStalls, stall, firstPacket, &FlowLine::longestStall);
    if (byData || byAnomalies || byResets || byStall) {
        FlowLine line = FlowLine::of(flow, verdict);
        line.graph = graphs_.draw(flow);
        if (byData) {
            insert(state_.mostData, line, &FlowLine::dataBytes);
        }
        if (byAnomalies) {
            insert(state_.mostAnomalies, line, &FlowLine::anomalies);
        }
        if (byResets) {
            insert(state_.mostResets, line, &FlowLine::resets);
        }
        if (byStall) {
            insert(state_.longestStalls, line, &FlowLine::longestStall);
        }
    }
    if (connection != nullptr) {
        ++state_.states[static_cast<std::size_t>(connection->state)];
    }
    chartAnomalies(verdict);
    // Where retransmissions are looked for, the judge also times the handshake.
    if (verdict.retransmissions && verdict.retransmissions->handshake) {
        const FlowRetransmissions::Handshake& handshake = *verdict.retransmissions->handshake;
        const std::int64_t took = handshake.synToSynAck + handshake.synAckToAck;
        const auto bucket = std::upper_bound(kHandshakeBounds.begin(), kHandshakeBounds.end(), took);
        ++state_.handshakes[static_cast<std::size_t>(bucket - kHandshakeBounds.begin()) - 1];
    }
}

void FlowHighlights::chartAnomalies(const FlowVerdict& verdict) {
    using Anomaly = FlowVerdict::Anomaly;
    binTimes(verdict.timesOf(Anomaly::kGaps), kGaps);
    binTimes(verdict.timesOf(Anomaly::kOutOfOrder), kOutOfOrder);
    binTimes(verdict.timesOf(Anomaly::kRepeats), kDuplicates);
    binTimes(verdict.retransmissionTimes, kRetransmissions);
}

void FlowHighlights::binTimes(const std::vector<std::int64_t>& times, Counter counter) {
    for (const std::int64_t time : times) {
        ++state_.anomalies.at(time)[counter];
    }
}

bool FlowHighlights::ranks(const std::vector<FlowLine>& list, std::uint64_t key, std::uint64_t firstPacket,
                           Key keyOf) {
    if (list.size() < kTopFlows) {
        return true;
    }
    const FlowLine& last = list.back();
    const std::uint64_t lastKey = (last.*keyOf)();
    return key > lastKey || (key == lastKey && firstPacket < last.firstPacket);
}

void FlowHighlights::insert(std::vector<FlowLine>& list, const FlowLine& line, Key keyOf) {
    list.push_back(line);
    std::sort(list.begin(), list.end(), [keyOf](const FlowLine& left, const FlowLine& right) {
        const std::uint64_t leftKey = (left.*keyOf)();
        const std::uint64_t rightKey = (right.*keyOf)();
        if (leftKey != rightKey) {
            return leftKey > rightKey;
        }
        return left.firstPacket < right.firstPacket;
    });
    if (list.size() > kTopFlows) {
        list.pop_back();
    }
}

void FlowHighlights::absorb(SequenceEvaluatorHandler& later) {
    merge(static_cast<const FlowHighlights&>(later).state_);
}

void FlowHighlights::merge(const State& later) {
    if (later.aligned) {
        align();
        state_.anomalies.add(later.anomalies);
    }
    for (const FlowLine& line : later.mostData) {
        insert(state_.mostData, line, &FlowLine::dataBytes);
    }
    for (const FlowLine& line : later.mostAnomalies) {
        insert(state_.mostAnomalies, line, &FlowLine::anomalies);
    }
    for (const FlowLine& line : later.mostResets) {
        insert(state_.mostResets, line, &FlowLine::resets);
    }
    for (const FlowLine& line : later.longestStalls) {
        insert(state_.longestStalls, line, &FlowLine::longestStall);
    }
    for (std::size_t bucket = 0; bucket < state_.handshakes.size(); ++bucket) {
        state_.handshakes[bucket] += later.handshakes[bucket];
    }
    for (std::size_t state = 0; state < state_.states.size(); ++state) {
        state_.states[state] += later.states[state];
    }
}

}  // namespace korvo::measurement
