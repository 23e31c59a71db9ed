#pragma once
// "NumberTCPFlowDuplicates": TCP flows with at least one repeated segment, one row per flow with its count.

#include <memory>
#include <vector>

#include "flow/RepeatFinder.h"
#include "measurement/SequenceAnomalyMeasurement.h"

namespace korvo::measurement {

class NumberTCPFlowRepeats : public SequenceAnomalyMeasurement, private RepeatFinder {
public:
    NumberTCPFlowRepeats(SequenceEvaluatorSource& source, bool extendedStatistics)
        : SequenceAnomalyMeasurement(source, "NumberTCPFlowDuplicates", extendedStatistics,
                                     SequenceEvaluator::Anomaly::kRepeats, ",Number Of Duplicates,"),
          RepeatFinder(false) {}

    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<NumberTCPFlowRepeats>(source, extended);
    }

private:
    std::uint64_t judge(const SequenceEvaluator::Direction& direction, DetailText& rows,
                        std::vector<std::int64_t>* times) const override {
        return findRepeats(direction.byId, rows, times);
    }
};

}  // namespace korvo::measurement
