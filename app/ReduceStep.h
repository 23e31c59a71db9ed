#pragma once
// The second step of a run split over machines: takes the segments of flow shard S that every counted group
// left, in group order with frame numbers made global, judges their flows as one run does, and leaves in
// the work folder, as reduce-S/, for the IPv4 flows and then the IPv6 flows of the shard: every figure's
// partial with its detail rows, the flow table's rows where asked, and what the report lists of them.

#include <cstddef>
#include <string>

#include "flow/SequenceEvaluatorMultimap.h"

namespace korvo::measurement {

class ReduceStep {
public:
    static void run(const std::string& work, std::size_t shard, const FlowTableSettings& resources);
};

}  // namespace korvo::measurement
