#pragma once
// The flow table: keeps every captured TCP segment, with its addresses and ports, while the capture is read,
// then hands out the flows: the IPv4 flows ordered by signed flow hash and, for equal hashes, by first
// appearance; then the IPv6 flows, ordered the same way by their own flow hash. Segments are kept in shards
// by family and range of flow hash, 40 bytes each over IPv4 and 44 over IPv6, with nothing per flow (but
// each IPv6 address once, in a table that stays in memory); past the memory limit the shards move the
// segments to temporary files. At the end each shard sorts and merges its segments into hand-out order, on
// as many threads as the run allows, and each flow is judged before it goes to the handlers.

#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include "capture/PacketSignals.h"
#include "flow/FlowJudge.h"
#include "flow/FlowShard.h"
#include "flow/FlowVolumeTally.h"
#include "flow/Ipv6AddressTable.h"
#include "flow/Ipv6ShardSegment.h"
#include "flow/SequenceEvaluatorHandler.h"
#include "flow/ShardRule.h"
#include "flow/ShardSegment.h"

namespace korvo::measurement {

// How the flow table may use the machine.
struct FlowTableSettings {
    // Threads that assemble and judge flows at the end (at least 1).
    std::size_t threads = 1;
    // Bytes that the kept segments may take before they go to temporary files.
    std::uint64_t memoryLimit = std::numeric_limits<std::uint64_t>::max();
};

class SequenceEvaluatorMultimap : public IPPacketHandler,
                                  public IPv6PacketHandler,
                                  public SequenceEvaluatorSource {
public:
    // `judging` says what the judge finds in each flow beyond its anomaly counts.
    explicit SequenceEvaluatorMultimap(IPPacketSource& ipSource, const FlowTableSettings& settings = {},
                                       const JudgeSettings& judging = {});

    // Keeps a TCP segment whose fixed TCP header was captured; ignores every other packet.
    void handlePacket(const IPPacket& packet) override;
    void handlePacket(const IPv6Packet& packet) override;
    // Notes the frame length of every segment kept from now on in `volumes`, which must outlive this
    // table, and settles each shard's lengths there before its segments are sorted.
    void countVolumesIn(FlowVolumeTally& volumes) { volumes_ = &volumes; }
    // Hands every flow to the connected handlers, one flow at a time. Called once, after the capture.
    void evaluateFlows();

    // For a run split into steps. Writes each shard's segments in hand-out order to `folder`, as "v4-S"
    // and "v6-S" for the shards S that hold any, with the IPv6 addresses they name as "v6-addresses"; then
    // lets go of them. Called instead of evaluateFlows().
    void writeShards(const std::string& folder);
    // Takes the segments that writeShards left in `folder` for shard `shard` of one family, their packet
    // numbers moved by `frameOffset`. Parts of a capture are taken in capture order; evaluateFlows() then
    // hands their flows out as one run over the whole capture would.
    void readShard(const std::string& folder, std::size_t shard, bool ipv6, std::uint64_t frameOffset);

private:
    // Counts a kept segment of `bytes` against the memory limit.
    void account(std::size_t bytes) {
        keptBytes_ += bytes;
        if (keptBytes_ >= keptLimit_) {
            spill();
        }
    }
    void spill();
    // Adds the frame lengths noted for IPv4 shard `shard` to the volumes, where they are counted.
    void settleVolumes(std::size_t shard);

    FlowTableSettings settings_;
    JudgeSettings judging_;
    std::uint64_t keptLimit_;
    std::uint64_t keptBytes_ = 0;
    std::array<FlowShard<ShardSegment>, ShardRule::kShards> shards_;
    std::array<FlowShard<Ipv6ShardSegment>, ShardRule::kShards> ipv6Shards_;
    Ipv6AddressTable ipv6Addresses_;
    bool keptIpv6_ = false;
    FlowVolumeTally* volumes_ = nullptr;
};

}  // namespace korvo::measurement
