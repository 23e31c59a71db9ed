#include "measurement/SequenceAnomalyMeasurement.h"

#include <utility>

#include "measurement/DetailRow.h"

namespace korvo::measurement {

SequenceAnomalyMeasurement::SequenceAnomalyMeasurement(SequenceEvaluatorSource& source,
                                                       std::string reportedName, bool extendedStatistics,
                                                       std::string_view flowLabel)
    : SequenceEvaluatorHandler(source),
      Measurement(std::move(reportedName), extendedStatistics),
      flowLabel_(flowLabel) {}

void SequenceAnomalyMeasurement::handleSequenceEvaluator(const SequenceEvaluator& flow) {
    // Every anomaly needs two segments of one direction; most flows of a scan have fewer.
    if (flow.forward().byCapture.size() < 2 && flow.reverse().byCapture.size() < 2) {
        return;
    }
    const bool packetLevel = flowLabel_.empty();
    DetailText& rows = packetLevel ? details : unusedRows_;
    // Two statements: the forward direction's rows must come first.
    std::uint64_t anomalies = judge(flow.forward(), rows);
    anomalies += judge(flow.reverse(), rows);
    if (packetLevel) {
        tally += anomalies;
        return;
    }
    if (anomalies == 0) {
        return;
    }
    ++tally;
    if (extended) {
        DetailRow(details).text("Tuple,").tuple(flow.getTuple()).text(flowLabel_).number(anomalies).end();
    }
}

std::string SequenceAnomalyMeasurement::getValue() const {
    return std::to_string(tally);
}

}  // namespace korvo::measurement
