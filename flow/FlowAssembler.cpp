#include "flow/FlowAssembler.h"

#include <algorithm>

namespace korvo::measurement {

void FlowAssembler::handOutGroup() {
    flows_.clear();
    for (std::size_t begin = 0; begin < group_.size();) {
        std::size_t end = begin + 1;
        bool oneFlow = true;
        const ShardSegment::Endpoints endpoints = group_[begin].endpoints();
        while (end < group_.size() && groupKeys_[end] == groupKeys_[begin]) {
            oneFlow = oneFlow && group_[end].endpoints() == endpoints;
            ++end;
        }
        if (!oneFlow) {
            // Flows sharing a whole order key: bring each one's segments together, keeping capture order.
            std::stable_sort(group_.begin() + static_cast<std::ptrdiff_t>(begin),
                             group_.begin() + static_cast<std::ptrdiff_t>(end),
                             [](const ShardSegment& left, const ShardSegment& right) {
                                 return left.endpoints() < right.endpoints();
                             });
        }
        for (std::size_t flowBegin = begin; flowBegin < end;) {
            std::size_t flowEnd = flowBegin + 1;
            const ShardSegment::Endpoints flowEndpoints = group_[flowBegin].endpoints();
            while (flowEnd < end && (oneFlow || group_[flowEnd].endpoints() == flowEndpoints)) {
                ++flowEnd;
            }
            flows_.push_back({group_[flowBegin].record.packetNumber(), flowBegin, flowEnd});
            flowBegin = flowEnd;
        }
        begin = end;
    }
    // Flows of equal flow hash go out in the order in which they first appeared.
    if (flows_.size() > 1) {
        std::sort(flows_.begin(), flows_.end(), [](const FlowSpan& left, const FlowSpan& right) {
            return left.firstPacket < right.firstPacket;
        });
    }
    for (const FlowSpan& flow : flows_) {
        handOut(flow);
    }
    group_.clear();
    groupKeys_.clear();
}

void FlowAssembler::handOut(const FlowSpan& flow) {
    // The first packet's direction is forward.
    const FlowTuple tuple = group_[flow.begin].tuple();
    forward_.clear();
    reverse_.clear();
    for (std::size_t position = flow.begin; position < flow.end; ++position) {
        (group_[position].travels(tuple) ? forward_ : reverse_).push_back(group_[position].record);
    }
    evaluator_.assign(tuple, forward_, reverse_);
    signal_(evaluator_);
}

}  // namespace korvo::measurement
