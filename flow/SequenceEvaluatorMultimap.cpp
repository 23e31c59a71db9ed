#include "flow/SequenceEvaluatorMultimap.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "capture/TCPPacketDispatcher.h"

namespace korvo::measurement {

namespace {

// Store positions and flow numbers are 32-bit; the flow number also carries the direction bit.
constexpr std::size_t kMaxSegments = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kMaxFlows = std::size_t{1} << 31;

// The identification's key: header byte 4 plus 256 times byte 5, the field as stored.
std::uint16_t identificationKey(const net::ip& header) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&header.identification);
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

// Sorts keys by their upper 32 bits, keeping the order of keys with equal upper halves: a least significant
// digit radix sort in four passes of eight bits, linear in the number of keys however many there are.
void sortByHighHalf(HugePageVector<std::uint64_t>& keys) {
    constexpr unsigned kDigitBits = 8;
    constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
    HugePageVector<std::uint64_t> sorted(keys.size());
    for (unsigned shift = 32; shift < 64; shift += kDigitBits) {
        std::size_t starts[kDigits] = {};
        for (const std::uint64_t key : keys) {
            ++starts[(key >> shift) & (kDigits - 1)];
        }
        std::size_t next = 0;
        for (std::size_t& start : starts) {
            next += std::exchange(start, next);
        }
        for (const std::uint64_t key : keys) {
            sorted[starts[(key >> shift) & (kDigits - 1)]++] = key;
        }
        keys.swap(sorted);
    }
}

}  // namespace

SequenceEvaluatorMultimap::SequenceEvaluatorMultimap(IPPacketSource& ipSource)
    : IPPacketHandler(ipSource.signal) {}

void SequenceEvaluatorMultimap::handlePacket(const IPPacket& packet) {
    if (!TCPPacketDispatcher::carriesTcpHeader(packet)) {
        return;
    }
    if (segments_.size() + pendingCount_ >= kMaxSegments || flows_.size() + pendingCount_ >= kMaxFlows ||
        packet.packetNumber > SegmentRecord::kMaxPacketNumber) {
        throw std::length_error("The capture holds more TCP segments or flows than one run can analyse");
    }
    const net::ip& ipHeader = *packet.header;
    const auto* tcpHeader = reinterpret_cast<const net::tcphdr*>(
        reinterpret_cast<const unsigned char*>(&ipHeader) + ipHeader.headerLength());
    const std::uint32_t segmentLength = std::uint32_t{ipHeader.totalLengthHost()} - ipHeader.headerLength();
    if (pendingCount_ == kFilingDelay) {
        fileOldestPending();
    }
    PendingSegment& pending = pending_[(pendingFirst_ + pendingCount_++) % kFilingDelay];
    pending.tuple = FlowTuple(&ipHeader);
    pending.hash = FlowIndex::hashOf(pending.tuple);
    pending.record = SegmentRecord(tcpHeader->sequenceNumberHost(), segmentLength, packet.packetNumber,
                                   packet.captureTime, identificationKey(ipHeader));
    index_.prefetch(pending.hash);
}

void SequenceEvaluatorMultimap::fileOldestPending() {
    const PendingSegment& pending = pending_[pendingFirst_];
    pendingFirst_ = (pendingFirst_ + 1) % kFilingDelay;
    --pendingCount_;
    const FlowIndex::Lookup lookup =
        index_.findOrAdd(pending.tuple, pending.hash, flows_, static_cast<std::uint32_t>(flows_.size()));
    if (lookup.created) {
        flows_.push_back(FlowState{pending.tuple, 0, 0});
    }
    FlowState& flow = flows_[lookup.flow];
    const bool forward = pending.tuple == flow.tuple;
    ++(forward ? flow.forwardCount : flow.reverseCount);
    segments_.push_back(FiledSegment{pending.record, lookup.flow * 2 + (forward ? 0U : 1U)});
}

void SequenceEvaluatorMultimap::evaluateFlows() {
    while (pendingCount_ != 0) {
        fileOldestPending();
    }
    const std::size_t flowCount = flows_.size();
    if (flowCount == 0) {
        return;
    }
    // Hand-out order: signed flow hash ascending, then first appearance (the flow number).
    HugePageVector<std::uint64_t> order(flowCount);
    for (std::size_t flow = 0; flow < flowCount; ++flow) {
        const auto biasedHash = static_cast<std::uint32_t>(flows_[flow].tuple.flowHash()) ^ 0x80000000U;
        order[flow] = (std::uint64_t{biasedHash} << 32) | flow;
    }
    sortByHighHalf(order);

    // Group the store positions by flow and direction in hand-out order, keeping capture order inside each
    // group: a counting sort, whose cursors are kept per flow number so that a segment's group is found
    // with one look-up.
    HugePageVector<std::uint32_t> groupStart(2 * flowCount + 1, 0);
    HugePageVector<std::uint32_t> grouped(segments_.size());
    {
        HugePageVector<std::uint32_t> next(2 * flowCount);
        for (std::size_t rank = 0; rank < flowCount; ++rank) {
            const auto flow = static_cast<std::uint32_t>(order[rank]);
            groupStart[2 * rank + 1] = groupStart[2 * rank] + flows_[flow].forwardCount;
            groupStart[2 * rank + 2] = groupStart[2 * rank + 1] + flows_[flow].reverseCount;
            next[2 * flow] = groupStart[2 * rank];
            next[2 * flow + 1] = groupStart[2 * rank + 1];
        }
        for (std::size_t position = 0; position < segments_.size(); ++position) {
            grouped[next[segments_[position].flowDirection]++] = static_cast<std::uint32_t>(position);
        }
    }

    SequenceEvaluator evaluator;
    const std::span<const std::uint32_t> positions(grouped);
    for (std::size_t rank = 0; rank < flowCount; ++rank) {
        if (rank + kLookAhead < flowCount) {
            prefetchFlow(order, groupStart, grouped, rank + kLookAhead);
        }
        const FlowState& flow = flows_[static_cast<std::uint32_t>(order[rank])];
        evaluator.assign(flow.tuple, segments_, positions.subspan(groupStart[2 * rank], flow.forwardCount),
                         positions.subspan(groupStart[2 * rank + 1], flow.reverseCount));
        signal(evaluator);
    }
}

void SequenceEvaluatorMultimap::prefetchFlow(const HugePageVector<std::uint64_t>& order,
                                             const HugePageVector<std::uint32_t>& groupStart,
                                             const HugePageVector<std::uint32_t>& grouped,
                                             std::size_t rank) const {
    __builtin_prefetch(&flows_[static_cast<std::uint32_t>(order[rank])]);
    const std::uint32_t end = std::min(groupStart[2 * rank + 2], groupStart[2 * rank] + kPrefetchedSegments);
    for (std::uint32_t group = groupStart[2 * rank]; group < end; ++group) {
        __builtin_prefetch(&segments_[grouped[group]]);
    }
}

}  // namespace korvo::measurement
