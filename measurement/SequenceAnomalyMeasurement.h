#pragma once
// The common part of the six gap, out-of-order and duplicate figures: each flow is judged in both directions
// by the concrete class's finder. A packet-level figure adds up the anomalous segments and keeps the
// finder's rows; a flow-level figure counts the flows with any and lists them with their count.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "flow/SequenceEvaluatorHandler.h"
#include "report/Measurement.h"

namespace korvo::measurement {

class SequenceAnomalyMeasurement : public SequenceEvaluatorHandler, public Measurement {
public:
    void handleSequenceEvaluator(const SequenceEvaluator& flow) final;
    void absorb(SequenceEvaluatorHandler& later) final;
    [[nodiscard]] std::string getValue() const final;

protected:
    // `flowLabel` empty makes a packet-level figure; otherwise the figure is flow-level and its rows read
    // "Tuple,<tuple><flowLabel><count>".
    SequenceAnomalyMeasurement(SequenceEvaluatorSource& source, std::string reportedName,
                               bool extendedStatistics, SequenceEvaluator::Anomaly kind,
                               std::string_view flowLabel);

    // The anomalies of one direction; the finder appends its rows to `rows` when it writes details, and
    // their capture times to `times` where given.
    virtual std::uint64_t judge(const SequenceEvaluator::Direction& direction, DetailText& rows,
                                std::vector<std::int64_t>* times) const = 0;

private:
    // The anomalies of one direction of `flow`, judged here or recalled from the twin figure of this kind.
    std::uint64_t anomaliesOf(const SequenceEvaluator& flow, bool reverse, bool writesRows);

    // Whether the flows' source wants the anomalies' times left on each flow.
    const bool& chartsTimes_;
    SequenceEvaluator::Anomaly kind_;
    std::string_view flowLabel_;
    std::uint64_t tally = 0;
    // Where a flow-level figure's finder would write; it never does, so this stays empty.
    DetailText unusedRows_;
};

}  // namespace korvo::measurement
