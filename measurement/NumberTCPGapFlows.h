#pragma once
// "NumberTCPGapFlows": TCP flows with at least one hole, one row per flow with its number of holes.

#include <memory>
#include <vector>

#include "flow/GapFinder.h"
#include "measurement/SequenceAnomalyMeasurement.h"

namespace korvo::measurement {

class NumberTCPGapFlows : public SequenceAnomalyMeasurement, private GapFinder {
public:
    NumberTCPGapFlows(SequenceEvaluatorSource& source, bool extendedStatistics)
        : SequenceAnomalyMeasurement(source, "NumberTCPGapFlows", extendedStatistics,
                                     SequenceEvaluator::Anomaly::kGaps, ",Number of Gaps,"),
          GapFinder(false) {}

    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<NumberTCPGapFlows>(source, extended);
    }

private:
    std::uint64_t judge(const SequenceEvaluator::Direction& direction, DetailText& rows,
                        std::vector<std::int64_t>* times) const override {
        return findGaps(direction.bySequence, direction.positions, rows, times);
    }
};

}  // namespace korvo::measurement
