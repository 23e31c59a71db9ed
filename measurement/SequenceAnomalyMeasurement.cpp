#include "measurement/SequenceAnomalyMeasurement.h"

#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

SequenceAnomalyMeasurement::SequenceAnomalyMeasurement(SequenceEvaluatorSource& source,
                                                       std::string reportedName, bool extendedStatistics,
                                                       FlowVerdict::Anomaly kind, std::string_view flowLabel)
    : FlowFigure(source, std::move(reportedName), extendedStatistics), kind_(kind), flowLabel_(flowLabel) {}

void SequenceAnomalyMeasurement::handleSequenceEvaluator(const SequenceEvaluator& flow,
                                                         const FlowVerdict& verdict) {
    const std::uint64_t anomalies = verdict.count(kind_);
    if (flowLabel_.empty()) {
        partial.count += anomalies;
        if (extended) {
            partial.rows.append(verdict.rowsOf(kind_));
        }
        return;
    }
    if (anomalies == 0) {
        return;
    }
    ++partial.count;
    if (extended) {
        DetailRow(partial.rows).text("Tuple,").tuple(flow).text(flowLabel_).number(anomalies).end();
    }
}

std::unique_ptr<SequenceEvaluatorHandler> SequenceAnomalyMeasurement::emptyCopy(
    SequenceEvaluatorSource& source) const {
    return std::make_unique<SequenceAnomalyMeasurement>(source, name, extended, kind_, flowLabel_);
}

std::string SequenceAnomalyMeasurement::getValue() const {
    return std::to_string(partial.count);
}

}  // namespace korvo::measurement
