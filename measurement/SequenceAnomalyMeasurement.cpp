#include "measurement/SequenceAnomalyMeasurement.h"

#include <utility>

#include "report/DetailRow.h"

namespace korvo::measurement {

SequenceAnomalyMeasurement::SequenceAnomalyMeasurement(SequenceEvaluatorSource& source,
                                                       std::string reportedName, bool extendedStatistics,
                                                       SequenceEvaluator::Anomaly kind,
                                                       std::string_view flowLabel)
    : SequenceEvaluatorHandler(source),
      Measurement(std::move(reportedName), extendedStatistics),
      chartsTimes_(source.chartsAnomalyTimes),
      kind_(kind),
      flowLabel_(flowLabel) {}

void SequenceAnomalyMeasurement::handleSequenceEvaluator(const SequenceEvaluator& flow) {
    if (!flow.mayHoldAnomalies()) {
        return;
    }
    const bool packetLevel = flowLabel_.empty();
    const bool writesRows = packetLevel && extended;
    // Two statements: the forward direction's rows must come first.
    std::uint64_t anomalies = anomaliesOf(flow, false, writesRows);
    anomalies += anomaliesOf(flow, true, writesRows);
    if (packetLevel) {
        tally += anomalies;
        return;
    }
    if (anomalies == 0) {
        return;
    }
    ++tally;
    if (extended) {
        DetailRow(details).text("Tuple,").tuple(flow).text(flowLabel_).number(anomalies).end();
    }
}

std::uint64_t SequenceAnomalyMeasurement::anomaliesOf(const SequenceEvaluator& flow, bool reverse,
                                                      bool writesRows) {
    const std::optional<std::uint64_t> known = flow.recall(kind_, reverse);
    if (known && !writesRows) {
        return *known;
    }
    // The times are left once, by the first figure of the kind to judge the direction.
    const std::uint64_t count =
        judge(reverse ? flow.reverse() : flow.forward(), writesRows ? details : unusedRows_,
              chartsTimes_ && !known ? &flow.timesOf(kind_) : nullptr);
    flow.remember(kind_, reverse, count);
    return count;
}

void SequenceAnomalyMeasurement::absorb(SequenceEvaluatorHandler& later) {
    const auto& copy = static_cast<const SequenceAnomalyMeasurement&>(later);
    tally += copy.tally;
    details.append(copy.details);
}

std::string SequenceAnomalyMeasurement::getValue() const {
    return std::to_string(tally);
}

}  // namespace korvo::measurement
