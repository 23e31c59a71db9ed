#pragma once
// The six gap, out-of-order and duplicate figures, each reading one kind of anomaly off the flows' verdicts.
// A packet-level figure adds up the anomalous segments and keeps the judge's rows; a flow-level figure
// counts the flows with any and lists them with their count.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "measurement/FlowFigure.h"

namespace korvo::measurement {

class SequenceAnomalyMeasurement : public FlowFigure {
public:
    // `flowLabel` empty makes a packet-level figure; otherwise the figure is flow-level and its rows read
    // "Tuple,<tuple><flowLabel><count>".
    SequenceAnomalyMeasurement(SequenceEvaluatorSource& source, std::string reportedName,
                               bool extendedStatistics, FlowVerdict::Anomaly kind,
                               std::string_view flowLabel);

    void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) override;
    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override;
    [[nodiscard]] std::string getValue() const override;

private:
    FlowVerdict::Anomaly kind_;
    std::string_view flowLabel_;
};

}  // namespace korvo::measurement
