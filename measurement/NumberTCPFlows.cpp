#include "measurement/NumberTCPFlows.h"

#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

NumberTCPFlows::NumberTCPFlows(std::string reportedName, SequenceEvaluatorSource& source,
                               bool extendedStatistics)
    : FlowFigure(source, std::move(reportedName), extendedStatistics) {}

void NumberTCPFlows::handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& /*verdict*/) {
    ++partial.count;
    if (extended) {
        DetailRow(partial.rows).tuple(flow).end();
    }
}

std::string NumberTCPFlows::getValue() const {
    return std::to_string(partial.count);
}

}  // namespace korvo::measurement
