#include "flow/FlowAssembler.h"

#include <algorithm>

#include "flow/Ipv6ShardSegment.h"
#include "flow/ShardSegment.h"

namespace korvo::measurement {

template <typename Segment>
void FlowAssembler<Segment>::handOutGroup() {
    flows_.clear();
    const SegmentEnds::Endpoints endpoints = group_.front().ends.endpoints();
    const bool oneFlow = std::all_of(group_.begin() + 1, group_.end(), [&endpoints](const Segment& segment) {
        return segment.ends.endpoints() == endpoints;
    });
    if (oneFlow) {
        flows_.push_back({group_.front().record.packetNumber(), 0, group_.size()});
    } else {
        // Flows sharing a flow hash: bring each one's segments together, keeping capture order.
        std::stable_sort(group_.begin(), group_.end(), [](const Segment& left, const Segment& right) {
            return left.ends.endpoints() < right.ends.endpoints();
        });
        for (std::size_t begin = 0; begin < group_.size();) {
            const SegmentEnds::Endpoints flowEndpoints = group_[begin].ends.endpoints();
            std::size_t end = begin + 1;
            while (end < group_.size() && group_[end].ends.endpoints() == flowEndpoints) {
                ++end;
            }
            flows_.push_back({group_[begin].record.packetNumber(), begin, end});
            begin = end;
        }
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
}

template <typename Segment>
void FlowAssembler<Segment>::handOut(const FlowSpan& flow) {
    // The first packet's direction is forward.
    const Segment& first = group_[flow.begin];
    forward_.clear();
    reverse_.clear();
    for (std::size_t position = flow.begin; position < flow.end; ++position) {
        (group_[position].ends == first.ends ? forward_ : reverse_).push_back(group_[position].record);
    }
    evaluator_.assign(tupleOf(first), forward_, reverse_);
    judge_.judge(evaluator_, verdict_);
    signal_(JudgedFlow{evaluator_, verdict_});
}

template class FlowAssembler<ShardSegment>;
template class FlowAssembler<Ipv6ShardSegment>;

}  // namespace korvo::measurement
