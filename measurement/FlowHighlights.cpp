#include "measurement/FlowHighlights.h"

#include <algorithm>

namespace korvo::measurement {

FlowHighlights::FlowHighlights(SequenceEvaluatorSource& source, const LoadTimeline& load,
                               bool retransmissions)
    : SequenceEvaluatorHandler(source), load_(load), retransmissions_(retransmissions) {
    gapFinder_.recordTimesIn(times_);
    outOfOrderFinder_.recordTimesIn(times_);
    repeatFinder_.recordTimesIn(times_);
    retransmissionFinder_.recordTimesIn(times_);
}

void FlowHighlights::handleSequenceEvaluator(const SequenceEvaluator& flow) {
    if (!aligned_) {
        // The capture has been read when the first flow comes: the intervals are final.
        anomalies_ = TimeBins::alignedWith(load_.bins(), kCounters);
        aligned_ = true;
    }
    std::int64_t firstTime = flow.forward().byCapture[0].captureMicros();
    for (const SegmentList* direction : {&flow.forward().byCapture, &flow.reverse().byCapture}) {
        for (const SegmentRecord& segment : *direction) {
            firstTime = std::min(firstTime, segment.captureMicros());
        }
    }
    std::optional<FlowLine> line;
    const std::uint64_t data =
        FlowLine::dataOf(flow.forward().byCapture) + FlowLine::dataOf(flow.reverse().byCapture);
    consider(mostData_, flow, data, firstTime, &FlowLine::dataBytes, line);
    if (flow.mayHoldAnomalies()) {
        const std::uint64_t anomalies = FlowLine::anomaliesOf(flow, SequenceEvaluator::Anomaly::kGaps) +
                                        FlowLine::anomaliesOf(flow, SequenceEvaluator::Anomaly::kOutOfOrder) +
                                        FlowLine::anomaliesOf(flow, SequenceEvaluator::Anomaly::kRepeats);
        if (anomalies != 0) {
            consider(mostAnomalies_, flow, anomalies, firstTime, &FlowLine::anomalies, line);
        }
        chartAnomalies(flow);
    }
    if (retransmissions_) {
        // The retransmission figures, connected before, leave their result on every flow.
        const std::optional<FlowRetransmissions::Handshake>& handshake =
            flow.recallRetransmissions()->handshake;
        if (handshake) {
            const std::int64_t took = handshake->synToSynAck + handshake->synAckToAck;
            const auto bucket = std::upper_bound(kHandshakeBounds.begin(), kHandshakeBounds.end(), took);
            ++handshakes_[static_cast<std::size_t>(bucket - kHandshakeBounds.begin()) - 1];
        }
    }
}

void FlowHighlights::chartAnomalies(const SequenceEvaluator& flow) {
    using Anomaly = SequenceEvaluator::Anomaly;
    for (const bool reverse : {false, true}) {
        const SequenceEvaluator::Direction& direction = reverse ? flow.reverse() : flow.forward();
        if (flow.recall(Anomaly::kGaps, reverse).value_or(0) != 0) {
            gapFinder_.findGaps(direction.bySequence, direction.positions, unusedRows_);
            binTimes(kGaps);
        }
        if (flow.recall(Anomaly::kOutOfOrder, reverse).value_or(0) != 0) {
            outOfOrderFinder_.findOutOfOrder(direction.byCapture, direction.positions, unusedRows_);
            binTimes(kOutOfOrder);
        }
        if (flow.recall(Anomaly::kRepeats, reverse).value_or(0) != 0) {
            repeatFinder_.findRepeats(direction.byId, unusedRows_);
            binTimes(kDuplicates);
        }
    }
    if (retransmissions_ && flow.recallRetransmissions()->retransmissions != 0) {
        retransmissionFinder_.find(flow, unusedRows_);
        binTimes(kRetransmissions);
    }
}

void FlowHighlights::binTimes(Counter counter) {
    for (const std::int64_t time : times_) {
        ++anomalies_.at(time)[counter];
    }
    times_.clear();
}

void FlowHighlights::consider(std::vector<FlowLine>& list, const SequenceEvaluator& flow, std::uint64_t key,
                              std::int64_t firstTime, Key keyOf, std::optional<FlowLine>& line) {
    if (list.size() == kTopFlows) {
        const FlowLine& last = list.back();
        const std::uint64_t lastKey = (last.*keyOf)();
        if (key < lastKey || (key == lastKey && firstTime > last.firstTime)) {
            return;
        }
    }
    if (!line) {
        line = FlowLine::of(flow);
    }
    insert(list, *line, keyOf);
}

void FlowHighlights::insert(std::vector<FlowLine>& list, const FlowLine& line, Key keyOf) {
    list.push_back(line);
    std::sort(list.begin(), list.end(), [keyOf](const FlowLine& left, const FlowLine& right) {
        const std::uint64_t leftKey = (left.*keyOf)();
        const std::uint64_t rightKey = (right.*keyOf)();
        if (leftKey != rightKey) {
            return leftKey > rightKey;
        }
        if (left.firstTime != right.firstTime) {
            return left.firstTime < right.firstTime;
        }
        return left.flow < right.flow;
    });
    if (list.size() > kTopFlows) {
        list.pop_back();
    }
}

void FlowHighlights::absorb(SequenceEvaluatorHandler& later) {
    const auto& copy = static_cast<const FlowHighlights&>(later);
    if (copy.aligned_) {
        if (!aligned_) {
            anomalies_ = TimeBins::alignedWith(load_.bins(), kCounters);
            aligned_ = true;
        }
        anomalies_.add(copy.anomalies_);
    }
    for (const FlowLine& line : copy.mostData_) {
        insert(mostData_, line, &FlowLine::dataBytes);
    }
    for (const FlowLine& line : copy.mostAnomalies_) {
        insert(mostAnomalies_, line, &FlowLine::anomalies);
    }
    for (std::size_t bucket = 0; bucket < handshakes_.size(); ++bucket) {
        handshakes_[bucket] += copy.handshakes_[bucket];
    }
}

}  // namespace korvo::measurement
