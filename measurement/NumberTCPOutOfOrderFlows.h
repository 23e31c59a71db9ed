#pragma once
// "NumberTCPOutOfOrderFlows": TCP flows with at least one out-of-order segment, one row per flow with its
// count.

#include <memory>
#include <vector>

#include "flow/OOOFinder.h"
#include "measurement/SequenceAnomalyMeasurement.h"

namespace korvo::measurement {

class NumberTCPOutOfOrderFlows : public SequenceAnomalyMeasurement, private OOOFinder {
public:
    NumberTCPOutOfOrderFlows(SequenceEvaluatorSource& source, bool extendedStatistics)
        : SequenceAnomalyMeasurement(source, "NumberTCPOutOfOrderFlows", extendedStatistics,
                                     SequenceEvaluator::Anomaly::kOutOfOrder,
                                     ",Number Out Of Order Packets,"),
          OOOFinder(false) {}

    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<NumberTCPOutOfOrderFlows>(source, extended);
    }

private:
    std::uint64_t judge(const SequenceEvaluator::Direction& direction, DetailText& rows,
                        std::vector<std::int64_t>* times) const override {
        return findOutOfOrder(direction, rows, times);
    }
};

}  // namespace korvo::measurement
