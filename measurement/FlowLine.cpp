#include "measurement/FlowLine.h"

#include <algorithm>

namespace korvo::measurement {

FlowLine FlowLine::of(const SequenceEvaluator& flow, const FlowVerdict& verdict) {
    FlowLine line;
    flow.appendText(line.flow);
    line.firstPacket = flow.firstPacket();
    const SequenceEvaluator::Span span = flow.captureSpan();
    line.firstTime = span.first;
    line.lastTime = span.last;
    line.packetsForward = flow.packets(0);
    line.packetsReverse = flow.packets(1);
    line.dataForward = flow.dataBytes(0);
    line.dataReverse = flow.dataBytes(1);
    line.gaps = verdict.count(FlowVerdict::Anomaly::kGaps);
    line.outOfOrder = verdict.count(FlowVerdict::Anomaly::kOutOfOrder);
    line.duplicates = verdict.count(FlowVerdict::Anomaly::kRepeats);
    line.retransmissions = verdict.retransmissions;
    line.connection = verdict.connection;
    return line;
}

}  // namespace korvo::measurement
