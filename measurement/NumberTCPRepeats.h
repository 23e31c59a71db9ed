#pragma once
// "NumberTCPDuplicates": TCP segments that copy an earlier segment of their direction, one row per repeat.

#include <memory>
#include <vector>

#include "flow/RepeatFinder.h"
#include "measurement/SequenceAnomalyMeasurement.h"

namespace korvo::measurement {

class NumberTCPRepeats : public SequenceAnomalyMeasurement, private RepeatFinder {
public:
    NumberTCPRepeats(SequenceEvaluatorSource& source, bool extendedStatistics)
        : SequenceAnomalyMeasurement(source, "NumberTCPDuplicates", extendedStatistics,
                                     SequenceEvaluator::Anomaly::kRepeats, ""),
          RepeatFinder(extendedStatistics) {}

    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<NumberTCPRepeats>(source, extended);
    }

private:
    std::uint64_t judge(const SequenceEvaluator::Direction& direction, DetailText& rows,
                        std::vector<std::int64_t>* times) const override {
        return findRepeats(direction.byId, rows, times);
    }
};

}  // namespace korvo::measurement
