#include "flow/SequenceEvaluatorMultimap.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "capture/IPPacketDispatcher.h"
#include "capture/TCPPacketDispatcher.h"
#include "flow/ParallelHandOut.h"

namespace korvo::measurement {

namespace {

// The identification's key: header byte 4 plus 256 times byte 5, the field as stored.
std::uint16_t identificationKey(const net::ip& header) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&header.identification);
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

// The segment's TCP data, from the packet's length and both header lengths as found, plus one for a SYN and
// one for a FIN.
std::uint32_t occupiedSequenceSpace(const IPPacket& packet, const net::tcphdr& tcpHeader) {
    const std::uint32_t headers = packet.header->headerLength() + tcpHeader.headerLength();
    const std::uint32_t length = IPPacketDispatcher::packetLength(packet);
    const std::uint32_t data = length > headers ? length - headers : 0;
    return data + ((tcpHeader.flags & net::tcphdr::kSyn) != 0 ? 1U : 0U) +
           ((tcpHeader.flags & net::tcphdr::kFin) != 0 ? 1U : 0U);
}

}  // namespace

SequenceEvaluatorMultimap::SequenceEvaluatorMultimap(IPPacketSource& ipSource,
                                                     const FlowTableSettings& settings)
    : IPPacketHandler(ipSource.signal),
      settings_(settings),
      // An eighth of the limit is left for sorting, merging and judging at the end. Shards number their
      // segments in 32 bits.
      keptLimit_(static_cast<std::size_t>(
          std::clamp<std::uint64_t>(settings.memoryLimit / 8 * 7 / sizeof(ShardSegment), 1,
                                    std::numeric_limits<std::uint32_t>::max()))) {}

void SequenceEvaluatorMultimap::handlePacket(const IPPacket& packet) {
    if (!TCPPacketDispatcher::carriesTcpHeader(packet)) {
        return;
    }
    if (packet.packetNumber > SegmentRecord::kMaxPacketNumber) {
        throw std::length_error("The capture holds more frames than one run can analyse");
    }
    const net::ip& ipHeader = *packet.header;
    const auto* tcpHeader = reinterpret_cast<const net::tcphdr*>(
        reinterpret_cast<const unsigned char*>(&ipHeader) + ipHeader.headerLength());
    const FlowTuple tuple(&ipHeader);
    const ShardSegment segment{
        SegmentRecord(tcpHeader->sequenceNumberHost(), occupiedSequenceSpace(packet, *tcpHeader),
                      tcpHeader->acknowledgementNumberHost(), packet.packetNumber, packet.captureTime,
                      identificationKey(ipHeader)),
        tuple.sourceAddress, tuple.destinationAddress, tuple.sourcePort, tuple.destinationPort};
    shards_[ShardRule::shardOf(ShardRule::orderKey(tuple))].add(segment);
    if (++kept_ >= keptLimit_) {
        spill();
    }
}

void SequenceEvaluatorMultimap::spill() {
    for (FlowShard& shard : shards_) {
        shard.spill();
    }
    kept_ = 0;
}

void SequenceEvaluatorMultimap::evaluateFlows() {
    ParallelHandOut(shards_, *this).run(settings_.threads);
}

}  // namespace korvo::measurement
