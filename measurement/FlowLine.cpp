#include "measurement/FlowLine.h"

#include <algorithm>

namespace korvo::measurement {

std::uint64_t FlowLine::anomaliesOf(const SequenceEvaluator& flow, SequenceEvaluator::Anomaly kind) {
    if (!flow.mayHoldAnomalies()) {
        return 0;
    }
    // Every judged flow has its counts left by the figures, which are connected before the report.
    return flow.recall(kind, false).value() + flow.recall(kind, true).value();
}

std::uint64_t FlowLine::dataOf(const SegmentList& segments) {
    // The order is all one.
    std::uint64_t data = 0;
    for (const SegmentRecord& segment : segments.records()) {
        data += segment.dataLength();
    }
    return data;
}

std::uint64_t FlowLine::firstPacketOf(const SequenceEvaluator& flow) {
    const std::uint64_t forward = flow.forward().byCapture[0].packetNumber();
    return flow.reverse().byCapture.empty() ? forward
                                            : std::min(forward, flow.reverse().byCapture[0].packetNumber());
}

FlowLine FlowLine::of(const SequenceEvaluator& flow) {
    FlowLine line;
    flow.appendText(line.flow);
    line.firstPacket = firstPacketOf(flow);
    // Capture order is file order, and a file's timestamps need not rise: take the extremes.
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
