#include "measurement/FlowLine.h"

#include <algorithm>

namespace korvo::measurement {

std::uint64_t FlowLine::dataOf(const SegmentList& segments) {
    std::uint64_t data = 0;
    for (const SegmentRecord& segment : segments) {
        // A SYN and a FIN each occupy one sequence number that carries no byte.
        const std::uint32_t control =
            (segment.has(SegmentRecord::kSyn) ? 1U : 0U) + (segment.has(SegmentRecord::kFin) ? 1U : 0U);
        data += segment.segmentLength - std::min(segment.segmentLength, control);
    }
    return data;
}

std::int64_t FlowLine::firstTimeOf(const SequenceEvaluator& flow) {
    // Capture order is file order, and a file's timestamps need not rise: take the earliest.
    std::int64_t first = flow.forward().byCapture[0].captureMicros();
    for (const SegmentList* direction : {&flow.forward().byCapture, &flow.reverse().byCapture}) {
        for (const SegmentRecord& segment : *direction) {
            first = std::min(first, segment.captureMicros());
        }
    }
    return first;
}

std::uint64_t FlowLine::anomaliesOf(const SequenceEvaluator& flow, SequenceEvaluator::Anomaly kind) {
    if (!flow.mayHoldAnomalies()) {
        return 0;
    }
    // Every judged flow has its counts left by the figures, which are connected before the report.
    return flow.recall(kind, false).value() + flow.recall(kind, true).value();
}

FlowLine FlowLine::of(const SequenceEvaluator& flow) {
    FlowLine line;
    flow.appendText(line.flow);
    line.firstTime = flow.forward().byCapture[0].captureMicros();
    line.lastTime = line.firstTime;
    for (const SegmentList* direction : {&flow.forward().byCapture, &flow.reverse().byCapture}) {
        for (const SegmentRecord& segment : *direction) {
            line.firstTime = std::min(line.firstTime, segment.captureMicros());
            line.lastTime = std::max(line.lastTime, segment.captureMicros());
        }
    }
    line.packetsForward = flow.forward().byCapture.size();
    line.packetsReverse = flow.reverse().byCapture.size();
    line.dataForward = dataOf(flow.forward().byCapture);
    line.dataReverse = dataOf(flow.reverse().byCapture);
    line.gaps = anomaliesOf(flow, SequenceEvaluator::Anomaly::kGaps);
    line.outOfOrder = anomaliesOf(flow, SequenceEvaluator::Anomaly::kOutOfOrder);
    line.duplicates = anomaliesOf(flow, SequenceEvaluator::Anomaly::kRepeats);
    line.retransmissions = flow.recallRetransmissions();
    return line;
}

}  // namespace korvo::measurement
