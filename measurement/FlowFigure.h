#pragma once
// The base of the figures judged from the flows: a receiver of judged flows whose share of them, judged on
// another thread by an empty copy, is taken over by merging the copy's partial after its own.

#include <cstddef>
#include <string>
#include <utility>
#include "figure/Measurement.h"

#include "flow/SequenceEvaluatorHandler.h"

namespace korvo::measurement {

class FlowFigure : public SequenceEvaluatorHandler, public Measurement {
public:
    FlowFigure(SequenceEvaluatorSource& source, std::string reportedName, bool extendedStatistics)
        : SequenceEvaluatorHandler(source), Measurement(std::move(reportedName), extendedStatistics) {}

    void absorb(SequenceEvaluatorHandler& later) final {
        merge(static_cast<FlowFigure&>(later).getPartial());
    }
    void holdRowsUpTo(std::size_t bytes) final { partial.rows.holdUpTo(bytes); }
};

}  // namespace korvo::measurement
