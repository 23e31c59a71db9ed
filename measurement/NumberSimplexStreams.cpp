#include "measurement/NumberSimplexStreams.h"

#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

NumberSimplexStreams::NumberSimplexStreams(std::string reportedName, SequenceEvaluatorSource& source,
                                           bool extendedStatistics)
    : SequenceEvaluatorHandler(source), Measurement(std::move(reportedName), extendedStatistics) {}

void NumberSimplexStreams::handleSequenceEvaluator(const SequenceEvaluator& flow,
                                                   const FlowVerdict& /*verdict*/) {
    const std::size_t forward = flow.forward().byCapture.size();
    const std::size_t reverse = flow.reverse().byCapture.size();
    if (forward != 0 && reverse != 0) {
        return;
    }
    ++tally;
    if (extended) {
        DetailRow(details)
            .text("Simplex Flow Tuple,")
            .tuple(flow)
            .text(",number Packets,")
            .number(forward + reverse)
            .end();
    }
}

void NumberSimplexStreams::absorb(SequenceEvaluatorHandler& later) {
    const auto& copy = static_cast<const NumberSimplexStreams&>(later);
    tally += copy.tally;
    details.append(copy.details);
}

std::string NumberSimplexStreams::getValue() const {
    return std::to_string(tally);
}

}  // namespace korvo::measurement
