#include "measurement/NumberTCPFlows.h"

#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

NumberTCPFlows::NumberTCPFlows(std::string reportedName, SequenceEvaluatorSource& source,
                               bool extendedStatistics)
    : SequenceEvaluatorHandler(source), Measurement(std::move(reportedName), extendedStatistics) {}

void NumberTCPFlows::handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& /*verdict*/) {
    ++tally;
    if (extended) {
        DetailRow(details).tuple(flow).end();
    }
}

void NumberTCPFlows::absorb(SequenceEvaluatorHandler& later) {
    const auto& copy = static_cast<const NumberTCPFlows&>(later);
    tally += copy.tally;
    details.append(copy.details);
}

std::string NumberTCPFlows::getValue() const {
    return std::to_string(tally);
}

}  // namespace korvo::measurement
