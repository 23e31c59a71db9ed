#pragma once
// The flow table: files every captured TCP segment under its flow and direction while the capture is read,
// then hands out the flows, ordered by signed flow hash and, for equal hashes, by first appearance. Each
// segment is kept once, as 28 bytes in capture order; a flow's sequence and identification orders are built
// only when the flow is handed out.

#include <array>
#include <cstdint>

#include "capture/PacketSignals.h"
#include "flow/ChunkedStore.h"
#include "flow/FiledSegment.h"
#include "flow/FlowIndex.h"
#include "flow/FlowState.h"
#include "flow/HugePageAllocator.h"
#include "flow/SequenceEvaluatorHandler.h"

namespace korvo::measurement {

class SequenceEvaluatorMultimap : public IPPacketHandler, public SequenceEvaluatorSource {
public:
    explicit SequenceEvaluatorMultimap(IPPacketSource& ipSource);

    // Files a TCP segment whose fixed TCP header was captured; ignores every other packet.
    void handlePacket(const IPPacket& packet) override;
    // Hands every flow to the connected handlers, one flow at a time. Called once, after the capture.
    void evaluateFlows();

private:
    // Segments are filed kFilingDelay packets after they arrive, and the index slot of each is requested
    // from memory on arrival, so that the cache misses of many lookups overlap instead of following each
    // other.
    static constexpr std::size_t kFilingDelay = 16;
    struct PendingSegment {
        FlowTuple tuple;
        std::uint32_t hash;
        SegmentRecord record;
    };
    void fileOldestPending();
    // Flows are handed out in hash order, so their records lie scattered over the store: the records of the
    // flow kLookAhead places ahead are requested while the current one is judged.
    static constexpr std::size_t kLookAhead = 16;
    static constexpr std::uint32_t kPrefetchedSegments = 8;
    void prefetchFlow(const HugePageVector<std::uint64_t>& order,
                      const HugePageVector<std::uint32_t>& groupStart,
                      const HugePageVector<std::uint32_t>& grouped, std::size_t rank) const;

    std::array<PendingSegment, kFilingDelay> pending_;
    std::size_t pendingFirst_ = 0;
    std::size_t pendingCount_ = 0;
    ChunkedStore<FlowState> flows_;
    ChunkedStore<FiledSegment> segments_;
    FlowIndex index_;
};

}  // namespace korvo::measurement
