#include "measurement/SequenceAnomalyMeasurement.h"

#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

SequenceAnomalyMeasurement::SequenceAnomalyMeasurement(SequenceEvaluatorSource& source,
                                                       std::string reportedName, bool extendedStatistics,
                                                       FlowVerdict::Anomaly kind, std::string_view flowLabel)
    : SequenceEvaluatorHandler(source),
      Measurement(std::move(reportedName), extendedStatistics),
      kind_(kind),
      flowLabel_(flowLabel) {}

void SequenceAnomalyMeasurement::handleSequenceEvaluator(const SequenceEvaluator& flow,
                                                         const FlowVerdict& verdict) {
    const std::uint64_t anomalies = verdict.count(kind_);
    if (flowLabel_.empty()) {
        tally += anomalies;
        if (extended) {
            details.append(verdict.rowsOf(kind_));
        }
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

std::unique_ptr<SequenceEvaluatorHandler> SequenceAnomalyMeasurement::emptyCopy(
    SequenceEvaluatorSource& source) const {
    return std::make_unique<SequenceAnomalyMeasurement>(source, name, extended, kind_, flowLabel_);
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
