#include "capture/FragmentReassembly.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "capture/TunnelDecoder.h"
#include "net/IpHeader.h"
#include "net/Ipv6Header.h"
#include "net/WireOrder.h"

namespace korvo::measurement {

using net::bigEndian16;

namespace {

constexpr std::uint32_t kMostPacket = 0xFFFF;
constexpr std::uint16_t kIpv4OffsetMask = 0x1FFF;
constexpr std::uint16_t kIpv4MoreFragments = 0x2000;
constexpr std::uint16_t kIpv6OffsetMask = 0xFFF8;
constexpr std::uint16_t kIpv6MoreFragments = 0x0001;
constexpr std::uint32_t kIpv6FragmentHeaderLength = 8;

void putBigEndian16(unsigned char* bytes, std::uint32_t value) {
    bytes[0] = static_cast<unsigned char>(value >> 8);
    bytes[1] = static_cast<unsigned char>(value);
}

}  // namespace

std::size_t FragmentReassembly::KeyHash::operator()(const Key& key) const {
    // FNV-1a over the key's bytes.
    std::size_t hash = 14695981039346656037ULL;
    for (const std::uint8_t byte : key) {
        hash = (hash ^ byte) * 1099511628211ULL;
    }
    return hash;
}

std::optional<FragmentReassembly::Whole> FragmentReassembly::addIpv4(const unsigned char* packet,
                                                                     std::uint32_t capturedLength,
                                                                     std::uint32_t length,
                                                                     std::uint32_t wireBytes,
                                                                     std::int64_t micros) {
    const auto* header = reinterpret_cast<const net::ip*>(packet);
    const std::uint32_t headerLength = header->headerLength();
    if (headerLength < net::ip::kFixedLength || headerLength > capturedLength || headerLength > length) {
        return std::nullopt;
    }
    const std::uint16_t field = header->flagsAndFragmentOffsetHost();
    Key key{};
    key[0] = 4;
    std::memcpy(key.data() + 1, packet + 12, 8);
    key[9] = header->protocol;
    std::memcpy(key.data() + 10, packet + 4, 2);
    const Piece piece{packet,
                      headerLength,
                      header->protocol,
                      8U * (field & kIpv4OffsetMask),
                      (field & kIpv4MoreFragments) != 0,
                      length - headerLength,
                      std::min(length, capturedLength) - headerLength,
                      packet + headerLength};
    return add(key, false, piece, wireBytes, micros);
}

std::optional<FragmentReassembly::Whole> FragmentReassembly::addIpv6(
    const unsigned char* packet, std::uint32_t capturedLength, std::uint32_t length,
    std::uint32_t fragmentHeader, std::uint32_t wireBytes, std::int64_t micros) {
    const std::uint32_t payloadStart = fragmentHeader + kIpv6FragmentHeaderLength;
    if (payloadStart > capturedLength || payloadStart > length) {
        return std::nullopt;
    }
    const unsigned char* fragment = packet + fragmentHeader;
    const std::uint16_t field = bigEndian16(fragment + 2);
    Key key{};
    key[0] = 6;
    std::memcpy(key.data() + 1, packet + 8, 32);
    std::memcpy(key.data() + 33, fragment + 4, 4);
    const Piece piece{packet,
                      net::ip6::kFixedLength,
                      fragment[0],
                      static_cast<std::uint32_t>(field & kIpv6OffsetMask),
                      (field & kIpv6MoreFragments) != 0,
                      length - payloadStart,
                      std::min(length, capturedLength) - payloadStart,
                      packet + payloadStart};
    return add(key, true, piece, wireBytes, micros);
}

std::optional<FragmentReassembly::Whole> FragmentReassembly::add(const Key& key, bool ipv6,
                                                                 const Piece& piece, std::uint32_t wireBytes,
                                                                 std::int64_t micros) {
    keepBounds(micros, nullptr);
    auto found = byKey_.find(key);
    if (found == byKey_.end()) {
        if (pending_.size() == kMostPending) {
            drop(pending_.begin());
        }
        Datagram& datagram = pending_.emplace_back();
        datagram.key = key;
        datagram.firstSeen = micros;
        datagram.ipv6 = ipv6;
        found = byKey_.emplace(key, std::prev(pending_.end())).first;
    }
    const std::list<Datagram>::iterator at = found->second;
    Datagram& datagram = *at;
    if (datagram.kind == Kind::Other) {
        return std::nullopt;
    }
    if (piece.offset == 0 && datagram.kind == Kind::Unknown) {
        if (!TunnelDecoder::opensTunnel(piece.protocol, piece.bytes, piece.captured)) {
            // Not a tunnel packet: its bytes are not needed, only the memory that it was not one.
            datagram.kind = Kind::Other;
            pendingBytes_ -= datagram.payload.size();
            datagram.payload = {};
            datagram.held.clear();
            return std::nullopt;
        }
        datagram.kind = Kind::Tunnel;
        datagram.header.assign(piece.header, piece.header + piece.headerLength);
        datagram.protocol = piece.protocol;
    }
    const std::uint64_t end = std::uint64_t{piece.offset} + piece.length;
    const std::uint32_t headerLength = datagram.ipv6 ? net::ip6::kFixedLength : piece.headerLength;
    if (end + headerLength > kMostPacket) {
        // No whole packet can be that long: the datagram is broken.
        drop(at);
        return std::nullopt;
    }
    datagram.wireBytes += wireBytes;
    if (!piece.more) {
        datagram.payloadLength = static_cast<std::uint32_t>(end);
    }
    hold(datagram, piece);
    keepBounds(micros, &datagram);
    if (datagram.kind != Kind::Tunnel || !whole(datagram)) {
        return std::nullopt;
    }
    const Whole result = assemble(datagram);
    pendingBytes_ -= datagram.payload.size();
    byKey_.erase(datagram.key);
    pending_.erase(at);
    return result;
}

void FragmentReassembly::hold(Datagram& datagram, const Piece& piece) {
    const std::uint32_t start = piece.offset;
    const std::uint32_t end = start + piece.captured;
    if (end > datagram.payload.size()) {
        pendingBytes_ += end - datagram.payload.size();
        datagram.payload.resize(end);
    }
    // Copy the gaps between the ranges already held within [start, end), then merge the ranges.
    std::uint32_t from = start;
    // From the range that reaches `start` (or touches it), so that touching ranges merge.
    auto range = datagram.held.upper_bound(start);
    if (range != datagram.held.begin() && std::prev(range)->second >= start) {
        --range;
    }
    std::uint32_t mergedStart = start;
    std::uint32_t mergedEnd = end;
    while (range != datagram.held.end() && range->first <= end) {
        if (range->first > from) {
            std::copy(piece.bytes + (from - start), piece.bytes + (range->first - start),
                      datagram.payload.begin() + from);
        }
        from = std::max(from, range->second);
        mergedStart = std::min(mergedStart, range->first);
        mergedEnd = std::max(mergedEnd, range->second);
        range = datagram.held.erase(range);
    }
    if (from < end) {
        std::copy(piece.bytes + (from - start), piece.bytes + (end - start), datagram.payload.begin() + from);
    }
    if (mergedEnd > mergedStart) {
        datagram.held.emplace(mergedStart, mergedEnd);
    }
}

bool FragmentReassembly::whole(const Datagram& datagram) {
    if (!datagram.payloadLength || datagram.held.size() != 1) {
        return false;
    }
    const auto& [start, end] = *datagram.held.begin();
    return start == 0 && end >= *datagram.payloadLength;
}

FragmentReassembly::Whole FragmentReassembly::assemble(const Datagram& datagram) {
    const std::uint32_t payloadLength = *datagram.payloadLength;
    assembled_.assign(datagram.header.begin(), datagram.header.end());
    const auto headerLength = static_cast<std::uint32_t>(assembled_.size());
    if (datagram.ipv6) {
        putBigEndian16(assembled_.data() + 4, payloadLength);
        assembled_[6] = datagram.protocol;
    } else {
        putBigEndian16(assembled_.data() + 2, headerLength + payloadLength);
        putBigEndian16(assembled_.data() + 6, 0);
    }
    assembled_.insert(assembled_.end(), datagram.payload.begin(),
                      datagram.payload.begin() + static_cast<std::ptrdiff_t>(payloadLength));
    return {assembled_, datagram.wireBytes};
}

void FragmentReassembly::keepBounds(std::int64_t micros, const Datagram* keep) {
    while (!pending_.empty() && &pending_.front() != keep &&
           (micros - pending_.front().firstSeen > kTimeoutMicros || pendingBytes_ > kMostPendingBytes)) {
        drop(pending_.begin());
    }
}

void FragmentReassembly::drop(std::list<Datagram>::iterator datagram) {
    givenUp_ += datagram->kind == Kind::Tunnel ? 1U : 0U;
    pendingBytes_ -= datagram->payload.size();
    byKey_.erase(datagram->key);
    pending_.erase(datagram);
}

std::uint64_t FragmentReassembly::incomplete() const {
    return givenUp_ + static_cast<std::uint64_t>(std::count_if(
                          pending_.begin(), pending_.end(),
                          [](const Datagram& datagram) { return datagram.kind == Kind::Tunnel; }));
}

}  // namespace korvo::measurement
