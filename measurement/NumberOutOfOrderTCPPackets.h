#pragma once
// "NumberOutOfOrderTCPPackets": TCP segments captured after a segment further along, one row per segment.

#include "flow/OOOFinder.h"
#include "measurement/SequenceAnomalyMeasurement.h"

namespace korvo::measurement {

class NumberOutOfOrderTCPPackets : public SequenceAnomalyMeasurement, private OOOFinder {
public:
    NumberOutOfOrderTCPPackets(SequenceEvaluatorSource& source, bool extendedStatistics)
        : SequenceAnomalyMeasurement(source, "NumberOutOfOrderTCPPackets", extendedStatistics,
                                     SequenceEvaluator::Anomaly::kOutOfOrder, ""),
          OOOFinder(extendedStatistics) {}

private:
    std::uint64_t judge(const SequenceEvaluator::Direction& direction, DetailText& rows) const override {
        return findOutOfOrder(direction.bySequence, direction.byCapture, rows);
    }
};

}  // namespace korvo::measurement
