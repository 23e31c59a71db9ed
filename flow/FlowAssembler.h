#pragma once
// Turns segments (IPv4 or IPv6, by `Segment`), coming in hand-out order, into flows and hands each to the
// receivers of a signal. Segments arrive ordered by order key (the flow hash) and, within a key, by capture;
// the assembler gathers all segments of one flow hash, separates their flows by endpoints when several flows
// share it, puts those flows in order of first appearance, builds each flow's evaluator and judges it.

#include <cstdint>
#include <vector>

#include "capture/Signal.h"
#include "flow/FlowJudge.h"
#include "flow/FlowVerdict.h"
#include "flow/Ipv6AddressTable.h"
#include "flow/Ipv6ShardSegment.h"
#include "flow/SegmentRecord.h"
#include "flow/SequenceEvaluator.h"
#include "flow/SequenceEvaluatorHandler.h"
#include "flow/ShardSegment.h"

namespace korvo::measurement {

template <typename Segment>
class FlowAssembler {
public:
    // IPv6 segments name their addresses by number in `addresses`.
    FlowAssembler(const Signal<JudgedFlow>& signal, const JudgeSettings& judging,
                  const Ipv6AddressTable* addresses = nullptr)
        : signal_(signal), addresses_(addresses), judge_(judging) {}

    // `key` is the segment's orderKey().
    void add(const Segment& segment, std::uint32_t key) {
        if (!group_.empty() && key != groupKey_) {
            handOutGroup();
        }
        group_.push_back(segment);
        groupKey_ = key;
    }
    // Hands out what is still gathered; call after the last segment.
    void finish() {
        if (!group_.empty()) {
            handOutGroup();
        }
    }

private:
    struct FlowSpan {
        std::uint64_t firstPacket;
        std::size_t begin;
        std::size_t end;
    };

    void handOutGroup();
    void handOut(const FlowSpan& flow);
    [[nodiscard]] FlowTuple tupleOf(const ShardSegment& segment) const { return segment.tuple(); }
    [[nodiscard]] Ipv6FlowTuple tupleOf(const Ipv6ShardSegment& segment) const {
        return segment.tuple(*addresses_);
    }

    const Signal<JudgedFlow>& signal_;
    const Ipv6AddressTable* addresses_;
    std::vector<Segment> group_;
    std::uint32_t groupKey_ = 0;
    std::vector<FlowSpan> flows_;
    std::vector<SegmentRecord> forward_;
    std::vector<SegmentRecord> reverse_;
    SequenceEvaluator evaluator_;
    FlowJudge judge_;
    FlowVerdict verdict_;
};

}  // namespace korvo::measurement
