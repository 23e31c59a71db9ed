#include "measurement/NumberSimplexStreams.h"

#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

NumberSimplexStreams::NumberSimplexStreams(std::string reportedName, SequenceEvaluatorSource& source,
                                           bool extendedStatistics)
    : FlowFigure(source, std::move(reportedName), extendedStatistics) {}

void NumberSimplexStreams::handleSequenceEvaluator(const SequenceEvaluator& flow,
                                                   const FlowVerdict& /*verdict*/) {
    const std::uint64_t forward = flow.packets(0);
    const std::uint64_t reverse = flow.packets(1);
    if (forward != 0 && reverse != 0) {
        return;
    }
    ++partial.count;
    if (extended) {
        DetailRow(partial.rows)
            .text("Simplex Flow Tuple,")
            .tuple(flow)
            .text(",number Packets,")
            .number(forward + reverse)
            .end();
    }
}

std::string NumberSimplexStreams::getValue() const {
    return std::to_string(partial.count);
}

}  // namespace korvo::measurement
