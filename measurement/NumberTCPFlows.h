#pragma once
// "NumberTCPFlows": every TCP flow of the capture, both directions counting as one; one row per flow with
// the tuple of its first packet.

#include <cstdint>
#include <memory>
#include <string>

#include "measurement/FlowFigure.h"

namespace korvo::measurement {

class NumberTCPFlows : public FlowFigure {
public:
    NumberTCPFlows(std::string reportedName, SequenceEvaluatorSource& source, bool extendedStatistics);

    void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) override;
    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<NumberTCPFlows>(name, source, extended);
    }
    [[nodiscard]] std::string getValue() const override;

private:
};

}  // namespace korvo::measurement
