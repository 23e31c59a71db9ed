#pragma once
// The flow table: keeps every captured TCP segment, with its addresses and ports, while the capture is read,
// then hands out the flows, ordered by signed flow hash and, for equal hashes, by first appearance. Segments
// are kept in shards by range of flow hash, 40 bytes each with nothing per flow; past the memory limit the
// shards move them to temporary files. At the end each shard sorts and merges its segments into hand-out
// order, on as many threads as the run allows.

#include <array>
#include <cstdint>
#include <limits>

#include "capture/PacketSignals.h"
#include "flow/FlowShard.h"
#include "flow/SequenceEvaluatorHandler.h"
#include "flow/ShardRule.h"

namespace korvo::measurement {

// How the flow table may use the machine.
struct FlowTableSettings {
    // Threads that assemble and judge flows at the end (at least 1).
    std::size_t threads = 1;
    // Bytes that the kept segments may take before they go to temporary files.
    std::uint64_t memoryLimit = std::numeric_limits<std::uint64_t>::max();
};

class SequenceEvaluatorMultimap : public IPPacketHandler, public SequenceEvaluatorSource {
public:
    explicit SequenceEvaluatorMultimap(IPPacketSource& ipSource, const FlowTableSettings& settings = {});

    // Keeps a TCP segment whose fixed TCP header was captured; ignores every other packet.
    void handlePacket(const IPPacket& packet) override;
    // Hands every flow to the connected handlers, one flow at a time. Called once, after the capture.
    void evaluateFlows();

private:
    void spill();

    FlowTableSettings settings_;
    std::size_t keptLimit_;
    std::size_t kept_ = 0;
    std::array<FlowShard, ShardRule::kShards> shards_;
};

}  // namespace korvo::measurement
