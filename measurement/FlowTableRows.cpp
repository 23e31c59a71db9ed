#include "measurement/FlowTableRows.h"

#include <arpa/inet.h>

#include <algorithm>

#include "measurement/DetailRow.h"

namespace korvo::measurement {

namespace {

// Both directions' count of one kind, as the figures judged them.
std::uint64_t anomaliesOf(const SequenceEvaluator& flow, SequenceEvaluator::Anomaly kind) {
    if (!flow.mayHoldAnomalies()) {
        return 0;
    }
    // Every judged flow has its counts left by the figures, which are connected before these rows.
    return flow.recall(kind, false).value() + flow.recall(kind, true).value();
}

}  // namespace

void FlowTableRows::handleSequenceEvaluator(const SequenceEvaluator& flow) {
    const SegmentList& forward = flow.forward().byCapture;
    const SegmentList& reverse = flow.reverse().byCapture;
    // Capture order is file order, and a file's timestamps need not rise: take the extremes.
    boost::posix_time::ptime first = forward[0].captureTime();
    boost::posix_time::ptime last = first;
    for (const SegmentList* direction : {&forward, &reverse}) {
        for (const SegmentRecord& segment : *direction) {
            const boost::posix_time::ptime time = segment.captureTime();
            first = std::min(first, time);
            last = std::max(last, time);
        }
    }
    const FlowTuple& tuple = flow.getTuple();
    const FlowVolumeTally::Volume volume = volumes_.volumeOf(tuple);
    // The flow text holds no comma, quote or line end, so no field needs quoting.
    DetailRow(rows_)
        .tuple(tuple)
        .text(",")
        .address(tuple.sourceAddress)
        .text(",")
        .number(ntohs(tuple.sourcePort))
        .text(",")
        .address(tuple.destinationAddress)
        .text(",")
        .number(ntohs(tuple.destinationPort))
        .text(",")
        .isoTime(first)
        .text(",")
        .isoTime(last)
        .text(",")
        .seconds(last - first)
        .text(",")
        .number(forward.size())
        .text(",")
        .number(reverse.size())
        .text(",")
        .number(volume.forward)
        .text(",")
        .number(volume.reverse)
        .text(",")
        .number(anomaliesOf(flow, SequenceEvaluator::Anomaly::kGaps))
        .text(",")
        .number(anomaliesOf(flow, SequenceEvaluator::Anomaly::kOutOfOrder))
        .text(",")
        .number(anomaliesOf(flow, SequenceEvaluator::Anomaly::kRepeats))
        .text(forward.empty() || reverse.empty() ? ",1" : ",0")
        .end("\r\n");
    if (sink_ && rows_.heldBytes() >= kStreamPiece) {
        flush();
    }
}

void FlowTableRows::absorb(SequenceEvaluatorHandler& later) {
    const DetailText& laterRows = static_cast<const FlowTableRows&>(later).rows_;
    if (!sink_) {
        rows_.append(laterRows);
        return;
    }
    flush();
    laterRows.forEachPiece(sink_);
}

void FlowTableRows::flush() {
    rows_.forEachPiece(sink_);
    rows_.clear();
}

}  // namespace korvo::measurement
