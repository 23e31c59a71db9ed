#include "flow/SequenceEvaluatorMultimap.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

#include "capture/IPPacketDispatcher.h"
#include "capture/TCPPacketDispatcher.h"
#include "flow/FileBlocks.h"
#include "flow/ParallelHandOut.h"
#include "flow/SegmentFile.h"

namespace korvo::measurement {

namespace {

constexpr std::uint64_t kLeastRowsHeld = std::uint64_t{4} << 20;
constexpr std::uint64_t kMostRowsHeld = std::uint64_t{32} << 20;
constexpr std::uint64_t kLeastSortedAtOnce = 4096;

// The identification's key: header byte 4 plus 256 times byte 5, the field as stored.
std::uint16_t identificationKey(const net::ip& header) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&header.identification);
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

// The segment's TCP data, from the packet's length and the IP and TCP header lengths as found, plus one for a
// SYN and one for a FIN.
std::uint32_t occupiedSequenceSpace(std::uint32_t packetLength, std::uint32_t ipHeaders,
                                    const net::tcphdr& tcpHeader) {
    const std::uint32_t headers = ipHeaders + tcpHeader.headerLength();
    const std::uint32_t data = packetLength > headers ? packetLength - headers : 0;
    return data + ((tcpHeader.flags & net::tcphdr::kSyn) != 0 ? 1U : 0U) +
           ((tcpHeader.flags & net::tcphdr::kFin) != 0 ? 1U : 0U);
}

// What the segment record keeps of the TCP flags and the advertised window.
std::uint8_t segmentFlags(const net::tcphdr& tcpHeader) {
    static_assert(SegmentRecord::kFin == net::tcphdr::kFin && SegmentRecord::kSyn == net::tcphdr::kSyn &&
                  SegmentRecord::kRst == net::tcphdr::kRst && SegmentRecord::kAck == net::tcphdr::kAck >> 1);
    const unsigned flags = tcpHeader.flags;
    return static_cast<std::uint8_t>((flags & (net::tcphdr::kFin | net::tcphdr::kSyn | net::tcphdr::kRst)) |
                                     ((flags >> 1) & SegmentRecord::kAck) |
                                     (tcpHeader.window == 0 ? unsigned{SegmentRecord::kZeroWindow} : 0U));
}

template <typename Packet>
void checkPacketNumber(const Packet& packet) {
    if (packet.packetNumber > SegmentRecord::kMaxPacketNumber) {
        throw std::length_error("The capture holds more frames than one run can analyse");
    }
}

}  // namespace

SequenceEvaluatorMultimap::SequenceEvaluatorMultimap(IPPacketSource& ipSource,
                                                     const FlowTableSettings& settings,
                                                     const JudgeSettings& judging)
    : IPPacketHandler(ipSource.signal),
      IPv6PacketHandler(ipSource.ipv6Signal),
      settings_(settings),
      judging_(judging),
      // An eighth of the limit is left for sorting, merging and judging at the end. Shards number their
      // segments in 32 bits, which no limit may let them pass.
      keptLimit_(std::clamp<std::uint64_t>(
          settings.memoryLimit / 8 * 7, 1,
          std::uint64_t{std::numeric_limits<std::uint32_t>::max()} * sizeof(ShardSegment))) {
    // Sorting a shard's segments takes two 8-byte entries each: it gets the eighth left, at least 4,096.
    const std::uint64_t mostSorted =
        std::max<std::uint64_t>(settings.memoryLimit / 8 / 16, kLeastSortedAtOnce);
    for (FlowShard<ShardSegment>& shard : shards_) {
        shard.limitSorting(mostSorted);
    }
    for (FlowShard<Ipv6ShardSegment>& shard : ipv6Shards_) {
        shard.limitSorting(mostSorted);
    }
}

void SequenceEvaluatorMultimap::handlePacket(const IPPacket& packet) {
    if (!TCPPacketDispatcher::carriesTcpHeader(packet)) {
        return;
    }
    checkPacketNumber(packet);
    const net::ip& ipHeader = *packet.header;
    const auto* tcpHeader = reinterpret_cast<const net::tcphdr*>(
        reinterpret_cast<const unsigned char*>(&ipHeader) + ipHeader.headerLength());
    const FlowTuple tuple(&ipHeader);
    const ShardSegment segment{
        SegmentRecord(tcpHeader->sequenceNumberHost(),
                      occupiedSequenceSpace(IPPacketDispatcher::packetLength(packet), ipHeader.headerLength(),
                                            *tcpHeader),
                      tcpHeader->acknowledgementNumberHost(), packet.packetNumber, packet.captureTime,
                      identificationKey(ipHeader), segmentFlags(*tcpHeader)),
        {tuple.sourceAddress, tuple.destinationAddress, tuple.sourcePort, tuple.destinationPort}};
    const std::size_t shard = ShardRule::shardOf(ShardRule::orderKey(tuple));
    shards_[shard].add(segment);
    if (volumes_ != nullptr) {
        volumes_->noteLength(shard, packet.length);
    }
    account(sizeof segment);
}

void SequenceEvaluatorMultimap::handlePacket(const IPv6Packet& packet) {
    if (!TCPPacketDispatcher::carriesTcpHeader(packet)) {
        return;
    }
    checkPacketNumber(packet);
    const auto* tcpHeader = reinterpret_cast<const net::tcphdr*>(
        reinterpret_cast<const unsigned char*>(packet.header) + packet.transportOffset);
    const Ipv6FlowTuple tuple(packet);
    const std::uint32_t key = ShardRule::orderKey(tuple);
    // IPv6 has no identification in its fixed header: every segment gets the same key.
    const Ipv6ShardSegment segment{
        SegmentRecord(tcpHeader->sequenceNumberHost(),
                      occupiedSequenceSpace(packet.datagramLength, packet.transportOffset, *tcpHeader),
                      tcpHeader->acknowledgementNumberHost(), packet.packetNumber, packet.captureTime, 0,
                      segmentFlags(*tcpHeader)),
        {ipv6Addresses_.number(tuple.sourceAddress), ipv6Addresses_.number(tuple.destinationAddress),
         tuple.sourcePort, tuple.destinationPort},
        key};
    ipv6Shards_[ShardRule::shardOf(key)].add(segment);
    keptIpv6_ = true;
    if (volumes_ != nullptr) {
        volumes_->add(tuple, packet.length);
    }
    account(sizeof segment);
}

void SequenceEvaluatorMultimap::spill() {
    for (std::size_t shard = 0; shard < shards_.size(); ++shard) {
        settleVolumes(shard);
        shards_[shard].spill();
    }
    for (FlowShard<Ipv6ShardSegment>& shard : ipv6Shards_) {
        shard.spill();
    }
    keptBytes_ = 0;
}

void SequenceEvaluatorMultimap::settleVolumes(std::size_t shard) {
    if (volumes_ != nullptr) {
        volumes_->settle(shard, shards_[shard].keptSegments());
    }
}

void SequenceEvaluatorMultimap::evaluateFlows() {
    // The IPv6 shards follow the IPv4 ones; a run without IPv6 segments hands out the IPv4 shards only.
    const std::size_t shards = shards_.size() + (keptIpv6_ ? ipv6Shards_.size() : 0);
    // Handed out on one thread, every shard goes to this source's own signal: one pair of assemblers then
    // serves them all and keeps its buffers from shard to shard. Other threads hand each shard to a signal
    // of its own.
    std::optional<FlowAssembler<ShardSegment>> ownIpv4;
    std::optional<FlowAssembler<Ipv6ShardSegment>> ownIpv6;
    // What the kept segments leave of the limit, less an eighth for sorting them and at least an eighth,
    // shared by the threads: a flow too large for its share is judged from temporary files. The kept
    // segments only shrink as the shards are handed out.
    const std::uint64_t eighth = settings_.memoryLimit / 8;
    const std::uint64_t left = settings_.memoryLimit - std::min(settings_.memoryLimit, keptBytes_ + eighth);
    const std::uint64_t judgingMemory = std::max(eighth, left) / std::max<std::size_t>(settings_.threads, 1);
    const auto handOutShard = [&](std::size_t shard, const Signal<JudgedFlow>& flows) {
        const bool own = &flows == &signal;
        if (shard < shards_.size()) {
            std::optional<FlowAssembler<ShardSegment>> fresh;
            FlowAssembler<ShardSegment>& assembler =
                own ? (ownIpv4 ? *ownIpv4 : ownIpv4.emplace(flows, judging_, nullptr, judgingMemory))
                    : fresh.emplace(flows, judging_, nullptr, judgingMemory);
            settleVolumes(shard);
            shards_[shard].handOut(assembler);
        } else {
            std::optional<FlowAssembler<Ipv6ShardSegment>> fresh;
            FlowAssembler<Ipv6ShardSegment>& assembler =
                own ? (ownIpv6 ? *ownIpv6 : ownIpv6.emplace(flows, judging_, &ipv6Addresses_, judgingMemory))
                    : fresh.emplace(flows, judging_, &ipv6Addresses_, judgingMemory);
            ipv6Shards_[shard - shards_.size()].handOut(assembler);
        }
    };
    // A shard's rows stay in memory, up to a 64th of the memory limit per text of rows, so that they reach
    // their file in one piece instead of through a temporary file.
    const std::size_t rowsHeld =
        std::clamp<std::uint64_t>(settings_.memoryLimit / 64, kLeastRowsHeld, kMostRowsHeld);
    ParallelHandOut(shards, handOutShard, *this, rowsHeld).run(settings_.threads);
}

void SequenceEvaluatorMultimap::writeShards(const std::string& folder) {
    for (std::size_t shard = 0; shard < shards_.size(); ++shard) {
        settleVolumes(shard);
    }
    const auto write = [&folder](auto& shards, const char* family) {
        for (std::size_t shard = 0; shard < shards.size(); ++shard) {
            if (shards[shard].empty()) {
                continue;
            }
            using Segment = typename std::remove_reference_t<decltype(shards[shard])>::SegmentType;
            typename SegmentFile<Segment>::Writer writer(folder + "/" + family + std::to_string(shard));
            shards[shard].handOut(writer);
        }
    };
    write(shards_, "v4-");
    write(ipv6Shards_, "v6-");
    const std::string path = folder + "/v6-addresses";
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    const std::vector<Ipv6FlowTuple::Address>& addresses = ipv6Addresses_.addresses();
    if (!file || !writeBlock(file.get(), std::span<const Ipv6FlowTuple::Address>(addresses)) ||
        std::fflush(file.get()) != 0) {
        throw std::runtime_error("Cannot write " + path + ": " + std::strerror(errno));
    }
}

void SequenceEvaluatorMultimap::readShard(const std::string& folder, std::size_t shard, bool ipv6,
                                          std::uint64_t frameOffset) {
    const std::string path = folder + (ipv6 ? "/v6-" : "/v4-") + std::to_string(shard);
    if (::access(path.c_str(), F_OK) != 0) {
        return;
    }
    const auto moved = [frameOffset](auto segment) {
        if (segment.record.packetNumber() + frameOffset > SegmentRecord::kMaxPacketNumber) {
            throw std::length_error("The capture holds more frames than one run can analyse");
        }
        segment.record.movePacketNumber(frameOffset);
        return segment;
    };
    if (!ipv6) {
        SegmentFile<ShardSegment>::read(path, [&](std::span<const ShardSegment> segments) {
            for (const ShardSegment& segment : segments) {
                shards_[shard].add(moved(segment));
                account(sizeof segment);
            }
        });
        return;
    }
    // The part numbered its addresses itself: each is numbered anew in this table.
    std::vector<Ipv6FlowTuple::Address> partAddresses;
    SegmentFile<Ipv6FlowTuple::Address>::read(
        folder + "/v6-addresses", [&](std::span<const Ipv6FlowTuple::Address> addresses) {
            partAddresses.insert(partAddresses.end(), addresses.begin(), addresses.end());
        });
    const auto numbered = [&](std::uint32_t partNumber) {
        if (partNumber >= partAddresses.size()) {
            throw std::runtime_error(path + " names an address that " + folder + "/v6-addresses lacks");
        }
        return ipv6Addresses_.number(partAddresses[partNumber]);
    };
    SegmentFile<Ipv6ShardSegment>::read(path, [&](std::span<const Ipv6ShardSegment> segments) {
        for (const Ipv6ShardSegment& segment : segments) {
            Ipv6ShardSegment renumbered = moved(segment);
            renumbered.ends.sourceAddress = numbered(segment.ends.sourceAddress);
            renumbered.ends.destinationAddress = numbered(segment.ends.destinationAddress);
            ipv6Shards_[shard].add(renumbered);
            keptIpv6_ = true;
            account(sizeof renumbered);
        }
    });
}

}  // namespace korvo::measurement
