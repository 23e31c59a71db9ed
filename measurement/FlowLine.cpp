#include "measurement/FlowLine.h"

#include <algorithm>

namespace korvo::measurement {

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

FlowLine FlowLine::of(const SequenceEvaluator& flow, const FlowVerdict& verdict) {
    FlowLine line;
    flow.appendText(line.flow);
    line.firstPacket = firstPacketOf(flow);
    const SequenceEvaluator::Span span = flow.captureSpan();
    line.firstTime = span.first;
    line.lastTime = span.last;
    line.packetsForward = flow.forward().byCapture.size();
    line.packetsReverse = flow.reverse().byCapture.size();
    line.dataForward = dataOf(flow.forward().byCapture);
    line.dataReverse = dataOf(flow.reverse().byCapture);
    line.gaps = verdict.count(FlowVerdict::Anomaly::kGaps);
    line.outOfOrder = verdict.count(FlowVerdict::Anomaly::kOutOfOrder);
    line.duplicates = verdict.count(FlowVerdict::Anomaly::kRepeats);
    line.retransmissions = verdict.retransmissions;
    line.connection = verdict.connection;
    return line;
}

}  // namespace korvo::measurement
