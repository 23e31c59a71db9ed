#pragma once
// The flow table: files every captured TCP segment under its flow and direction while the capture is read,
// then hands out the flows, ordered by signed flow hash and, for equal hashes, by first appearance. Each
// segment is kept once, as 28 bytes in capture order; a flow's sequence and identification orders are built
// only when the flow is handed out.

#include <cstdint>

#include "capture/PacketSignals.h"
#include "flow/ChunkedStore.h"
#include "flow/FiledSegment.h"
#include "flow/FlowIndex.h"
#include "flow/FlowState.h"
#include "flow/SequenceEvaluatorHandler.h"

namespace korvo::measurement {

class SequenceEvaluatorMultimap : public IPPacketHandler, public SequenceEvaluatorSource {
public:
    explicit SequenceEvaluatorMultimap(IPPacketSource& ipSource);

    // Files a TCP segment whose fixed TCP header was captured; ignores every other packet.
    void handlePacket(const IPPacket& packet) override;
    // Hands every flow to the connected handlers, one flow at a time. Called once, after the capture.
    void evaluateFlows();

    [[nodiscard]] std::size_t flowCount() const { return flows_.size(); }
    [[nodiscard]] std::size_t segmentCount() const { return segments_.size(); }

private:
    ChunkedStore<FlowState> flows_;
    ChunkedStore<FiledSegment> segments_;
    FlowIndex index_;
};

}  // namespace korvo::measurement
