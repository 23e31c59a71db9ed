#pragma once
// "NumberGapsInTCPFlows": holes in the sequence space of all TCP flows, one row per hole.

#include <memory>
#include <vector>

#include "flow/GapFinder.h"
#include "measurement/SequenceAnomalyMeasurement.h"

namespace korvo::measurement {

class NumberGapsInTCPFlows : public SequenceAnomalyMeasurement, private GapFinder {
public:
    NumberGapsInTCPFlows(SequenceEvaluatorSource& source, bool extendedStatistics)
        : SequenceAnomalyMeasurement(source, "NumberGapsInTCPFlows", extendedStatistics,
                                     SequenceEvaluator::Anomaly::kGaps, ""),
          GapFinder(extendedStatistics) {}

    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<NumberGapsInTCPFlows>(source, extended);
    }

private:
    std::uint64_t judge(const SequenceEvaluator::Direction& direction, DetailText& rows,
                        std::vector<std::int64_t>* times) const override {
        return findGaps(direction.bySequence, direction.positions, rows, times);
    }
};

}  // namespace korvo::measurement
