#include "flow/FlowAssembler.h"

#include <algorithm>
#include <type_traits>
#include <utility>

#include "flow/ExternalSort.h"

#include "flow/Ipv6ShardSegment.h"
#include "flow/ShardSegment.h"

namespace korvo::measurement {

template <typename Segment>
void FlowAssembler<Segment>::handOutGroup() {
    if (groupWriter_) {
        handOutFileGroup();
        return;
    }
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
    judgeAndHandOut();
}

template <typename Segment>
void FlowAssembler<Segment>::judgeAndHandOut() {
    judge_.judge(evaluator_, verdict_);
    signal_(JudgedFlow{evaluator_, verdict_});
}

template <typename Segment>
void FlowAssembler<Segment>::moveGroupToFile() {
    groupFile_ = std::make_unique<RunFile<Segment>>();
    groupWriter_.emplace(*groupFile_);
    fileEndpoints_ = group_.front().ends.endpoints();
    oneFlowInFile_ = true;
    for (const Segment& segment : group_) {
        addToFile(segment);
    }
    group_ = {};
}

template <typename Segment>
void FlowAssembler<Segment>::handOutFileGroup() {
    const typename RunFile<Segment>::Run run = groupWriter_->finish();
    groupWriter_.reset();
    std::unique_ptr<RunFile<Segment>> file = std::move(groupFile_);
    if (oneFlowInFile_) {
        typename RunFile<Segment>::Reader reader(*file, run);
        handOutFromFile(reader, run.count);
        return;
    }
    // Flows sharing a flow hash: sorted by endpoints and then capture order, each flow's segments come
    // together, the first of them its first packet.
    struct ByFlow {
        bool operator()(const Segment& left, const Segment& right) const {
            return std::pair(left.ends.endpoints(), left.record.packetNumber()) <
                   std::pair(right.ends.endpoints(), right.record.packetNumber());
        }
    };
    ExternalSort<Segment, ByFlow> byFlow(judgingMemory_ / sizeof(Segment));
    for (typename RunFile<Segment>::Reader reader(*file, run); !reader.done(); reader.pop()) {
        byFlow.add(reader.front());
    }
    file = std::make_unique<RunFile<Segment>>();
    RunWriter<Segment> sorted(*file);
    struct FlowRun {
        std::uint64_t firstPacket;
        SegmentEnds::Endpoints endpoints;
        std::uint64_t first;
        std::uint64_t count;
    };
    // One entry per flow of the group, which is mostly one.
    std::vector<FlowRun> flows;
    std::uint64_t written = 0;
    byFlow.finish([&](const Segment& segment) {
        const SegmentEnds::Endpoints endpoints = segment.ends.endpoints();
        if (flows.empty() || endpoints != flows.back().endpoints) {
            flows.push_back({segment.record.packetNumber(), endpoints, written, 0});
        }
        ++flows.back().count;
        sorted.add(segment);
        ++written;
    });
    const typename RunFile<Segment>::Run all = sorted.finish();
    // Flows of equal flow hash go out in the order in which they first appeared.
    std::sort(flows.begin(), flows.end(),
              [](const FlowRun& left, const FlowRun& right) { return left.firstPacket < right.firstPacket; });
    for (const FlowRun& flow : flows) {
        typename RunFile<Segment>::Reader reader(*file, {all.first + flow.first, flow.count});
        handOutFromFile(reader, flow.count);
    }
}

template <typename Segment>
void FlowAssembler<Segment>::handOutFromFile(typename RunFile<Segment>::Reader& reader, std::uint64_t count) {
    // The first packet's direction is forward.
    const Segment first = reader.front();
    if (count <= mostInMemory_) {
        forward_.clear();
        reverse_.clear();
        for (; !reader.done(); reader.pop()) {
            (reader.front().ends == first.ends ? forward_ : reverse_).push_back(reader.front().record);
        }
        evaluator_.assign(tupleOf(first), forward_, reverse_);
    } else {
        if (!spilled_) {
            spilled_ = std::make_unique<SpilledFlow>(judgingMemory_);
        }
        spilled_->begin(std::is_same_v<Segment, Ipv6ShardSegment>);
        for (; !reader.done(); reader.pop()) {
            spilled_->add(reader.front().ends == first.ends ? 0 : 1, reader.front().record);
        }
        spilled_->arrange();
        evaluator_.assign(tupleOf(first), *spilled_);
    }
    judgeAndHandOut();
}

template class FlowAssembler<ShardSegment>;
template class FlowAssembler<Ipv6ShardSegment>;

}  // namespace korvo::measurement
