#pragma once
// Turns segments (IPv4 or IPv6, by `Segment`), coming in hand-out order, into flows and hands each to the
// receivers of a signal. Segments arrive ordered by order key (the flow hash) and, within a key, by capture;
// the assembler gathers all segments of one flow hash, separates their flows by endpoints when several flows
// share it, puts those flows in order of first appearance, builds each flow's evaluator and judges it. A
// flow hash with more segments than memory may hold for judging goes to a temporary file as it comes, and a
// flow with that many segments is judged from temporary files (SpilledFlow).

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "capture/Signal.h"
#include "flow/FlowJudge.h"
#include "flow/FlowVerdict.h"
#include "flow/Ipv6AddressTable.h"
#include "flow/Ipv6ShardSegment.h"
#include "flow/RunFile.h"
#include "flow/RunWriter.h"
#include "flow/SegmentRecord.h"
#include "flow/SequenceEvaluator.h"
#include "flow/SequenceEvaluatorHandler.h"
#include "flow/ShardSegment.h"
#include "flow/SpilledFlow.h"

namespace korvo::measurement {

template <typename Segment>
class FlowAssembler {
public:
    // Each segment of a flow judged in memory takes about this many bytes of memory while it is judged.
    static constexpr std::uint64_t kJudgedBytesPerSegment = 160;
    // A flow of up to this many segments is always judged in memory.
    static constexpr std::uint64_t kLeastSegmentsInMemory = 256;

    // IPv6 segments name their addresses by number in `addresses`. Judging may take about `judgingMemory`
    // bytes: a flow hash with more segments than that holds goes to temporary files.
    FlowAssembler(const Signal<JudgedFlow>& signal, const JudgeSettings& judging,
                  const Ipv6AddressTable* addresses = nullptr,
                  std::uint64_t judgingMemory = std::numeric_limits<std::uint64_t>::max())
        : signal_(signal),
          addresses_(addresses),
          judge_(judging),
          judgingMemory_(judgingMemory),
          mostInMemory_(std::max(judgingMemory / kJudgedBytesPerSegment, kLeastSegmentsInMemory)) {}

    // `key` is the segment's orderKey().
    void add(const Segment& segment, std::uint32_t key) {
        if (key != groupKey_ && gathering()) {
            handOutGroup();
        }
        groupKey_ = key;
        if (groupWriter_) [[unlikely]] {
            addToFile(segment);
            return;
        }
        group_.push_back(segment);
        if (group_.size() > mostInMemory_) [[unlikely]] {
            moveGroupToFile();
        }
    }
    // Hands out what is still gathered; call after the last segment.
    void finish() {
        if (gathering()) {
            handOutGroup();
        }
    }

private:
    struct FlowSpan {
        std::uint64_t firstPacket;
        std::size_t begin;
        std::size_t end;
    };

    [[nodiscard]] bool gathering() const { return !group_.empty() || groupWriter_.has_value(); }
    void handOutGroup();
    void handOut(const FlowSpan& flow);
    // Moves the group gathered so far to a temporary file, where the rest of it follows.
    void moveGroupToFile();
    [[gnu::noinline]] void addToFile(const Segment& segment) {
        groupWriter_->add(segment);
        oneFlowInFile_ = oneFlowInFile_ && segment.ends.endpoints() == fileEndpoints_;
    }
    // Hands out the flows of the group in the temporary file, in order of first appearance.
    void handOutFileGroup();
    // Judges and hands out the flow of `count` segments, in capture order, that `reader` reads.
    void handOutFromFile(typename RunFile<Segment>::Reader& reader, std::uint64_t count);
    void judgeAndHandOut();
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
    std::uint64_t judgingMemory_;
    std::uint64_t mostInMemory_;
    // The group in its temporary file, where it is there.
    std::unique_ptr<RunFile<Segment>> groupFile_;
    std::optional<RunWriter<Segment>> groupWriter_;
    SegmentEnds::Endpoints fileEndpoints_{};
    bool oneFlowInFile_ = true;
    std::unique_ptr<SpilledFlow> spilled_;
};

}  // namespace korvo::measurement
