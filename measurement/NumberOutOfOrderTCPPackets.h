#pragma once
// "NumberOutOfOrderTCPPackets": TCP segments captured after a segment further along, one row per segment.

#include <memory>
#include <vector>

#include "flow/OOOFinder.h"
#include "measurement/SequenceAnomalyMeasurement.h"

namespace korvo::measurement {

class NumberOutOfOrderTCPPackets : public SequenceAnomalyMeasurement, private OOOFinder {
public:
    NumberOutOfOrderTCPPackets(SequenceEvaluatorSource& source, bool extendedStatistics)
        : SequenceAnomalyMeasurement(source, "NumberOutOfOrderTCPPackets", extendedStatistics,
                                     SequenceEvaluator::Anomaly::kOutOfOrder, ""),
          OOOFinder(extendedStatistics) {}

    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<NumberOutOfOrderTCPPackets>(source, extended);
    }

private:
    std::uint64_t judge(const SequenceEvaluator::Direction& direction, DetailText& rows,
                        std::vector<std::int64_t>* times) const override {
        return findOutOfOrder(direction, rows, times);
    }
};

}  // namespace korvo::measurement
