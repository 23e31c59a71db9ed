#include "flow/FlowJudge.h"

namespace korvo::measurement {

FlowJudge::FlowJudge(const JudgeSettings& settings)
    : settings_(settings),
      gaps_(settings.rows),
      outOfOrder_(settings.rows),
      repeats_(settings.rows),
      retransmissions_(settings.rows, settings.connections) {}

void FlowJudge::judge(const SequenceEvaluator& flow, FlowVerdict& verdict) {
    verdict.clear();
    using Anomaly = FlowVerdict::Anomaly;
    const auto kind = [](Anomaly anomaly) { return static_cast<std::size_t>(anomaly); };
    const auto timesOf = [&](Anomaly anomaly) {
        return settings_.times ? &verdict.times[kind(anomaly)] : nullptr;
    };
    if (flow.mayHoldAnomalies()) {
        // Each kind's rows are kept apart, so the forward direction's come first in each.
        for (std::size_t side = 0; side < 2; ++side) {
            verdict.anomalies[kind(Anomaly::kGaps)][side] =
                gaps_.findGaps(flow, side, verdict.rows[kind(Anomaly::kGaps)], timesOf(Anomaly::kGaps));
            verdict.anomalies[kind(Anomaly::kOutOfOrder)][side] = outOfOrder_.findOutOfOrder(
                flow, side, verdict.rows[kind(Anomaly::kOutOfOrder)], timesOf(Anomaly::kOutOfOrder));
            verdict.anomalies[kind(Anomaly::kRepeats)][side] = repeats_.findRepeats(
                flow, side, verdict.rows[kind(Anomaly::kRepeats)], timesOf(Anomaly::kRepeats));
        }
    }
    if (settings_.retransmissions) {
        verdict.retransmissions = retransmissions_.find(
            flow, verdict.retransmissionRows, settings_.times ? &verdict.retransmissionTimes : nullptr);
    }
    if (settings_.connections) {
        verdict.connection = connections_.find(flow);
    }
}

}  // namespace korvo::measurement
