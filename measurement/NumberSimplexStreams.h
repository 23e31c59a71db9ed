#pragma once
// "NumberSimplexFlows": TCP flows seen in one direction only; one row per flow with its tuple and number of
// segments. A flow whose two ends share address and port has only a forward direction and so counts here.

#include <cstdint>
#include <memory>
#include <string>

#include "measurement/FlowFigure.h"

namespace korvo::measurement {

class NumberSimplexStreams : public FlowFigure {
public:
    NumberSimplexStreams(std::string reportedName, SequenceEvaluatorSource& source, bool extendedStatistics);

    void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) override;
    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<NumberSimplexStreams>(name, source, extended);
    }
    [[nodiscard]] std::string getValue() const override;

private:
};

}  // namespace korvo::measurement
