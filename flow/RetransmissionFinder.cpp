#include "flow/RetransmissionFinder.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "figure/DetailRow.h"
#include "flow/RepeatFinder.h"
#include "flow/SequenceAnchor.h"

namespace korvo::measurement {

namespace {

constexpr std::int64_t kNothingAcknowledged = std::numeric_limits<std::int64_t>::min();

// The microseconds from `earlier` to `later`.
std::int64_t microsBetween(const SegmentRecord& earlier, const SegmentRecord& later) {
    return (later.captureTime() - earlier.captureTime()).total_microseconds();
}

}  // namespace

FlowRetransmissions RetransmissionFinder::find(const SequenceEvaluator& flow, DetailText& out,
                                               std::vector<std::int64_t>* times,
                                               std::array<std::vector<std::uint32_t>, 2>* places) {
    FlowRetransmissions result;
    if (!flow.mayHoldAnomalies()) {
        return result;
    }
    judgeDirection(flow, false, result, out, times, places != nullptr ? &(*places)[0] : nullptr);
    judgeDirection(flow, true, result, out, times, places != nullptr ? &(*places)[1] : nullptr);
    result.handshake = timeHandshake(flow);
    return result;
}

void RetransmissionFinder::judgeDirection(const SequenceEvaluator& flow, bool reverse,
                                          FlowRetransmissions& result, DetailText& out,
                                          std::vector<std::int64_t>* times,
                                          std::vector<std::uint32_t>* places) {
    const std::size_t own = reverse ? 1 : 0;
    // A retransmission needs an earlier segment of its own direction.
    if (flow.packets(own) < 2) {
        return;
    }
    if (writeDetails_ && namesSender_) {
        sender_.clear();
        flow.appendEndpoint(sender_, reverse);
    }
    if (flow.spilled() != nullptr) {
        SpilledFlow::RepeatPlaces repeats = flow.spilled()->repeatPlaces(own);
        judgeDirection(flow, own, result, out, times, places,
                       [&repeats](std::uint32_t place) { return repeats.holds(place); });
        return;
    }
    repeats_.assign(flow.packets(own), false);
    RepeatFinder::markRepeats(reverse ? flow.reverse().byId : flow.forward().byId, repeats_);
    judgeDirection(flow, own, result, out, times, places,
                   [this](std::uint32_t place) { return static_cast<bool>(repeats_[place]); });
}

template <typename IsRepeat>
void RetransmissionFinder::judgeDirection(const SequenceEvaluator& flow, std::size_t own,
                                          FlowRetransmissions& result, DetailText& out,
                                          std::vector<std::int64_t>* times,
                                          std::vector<std::uint32_t>* places, IsRepeat isRepeat) {
    occupied_.clear();
    bool reached = false;
    std::int64_t furthest = 0;
    // The last segment of this direction, to place the other side's acknowledgements in its sequence space.
    SequenceAnchor last;
    std::int64_t acknowledged = kNothingAcknowledged;
    flow.walkCapture(own, [&](std::size_t side, const PlacedSegment& placed) {
        const SegmentRecord& segment = placed.segment;
        if (side != own) {
            if (reached && segment.has(SegmentRecord::kAck)) {
                const std::int64_t position = last.place(segment.acknowledgementNumber);
                // An acknowledgement of what was never sent is not taken.
                if (position <= furthest) {
                    acknowledged = std::max(acknowledged, position);
                }
            }
            return;
        }
        const std::int64_t start = placed.position;
        const std::int64_t end = start + segment.segmentLength;
        last.set(start, segment.sequenceNumber);
        if (placed.startsConnection) {
            // A new connection on the same addresses and ports: what the earlier one sent and had
            // acknowledged no longer counts.
            occupied_.clear();
            reached = false;
            acknowledged = kNothingAcknowledged;
        }
        if (segment.segmentLength == 0) {
            furthest = reached ? std::max(furthest, end) : end;
            reached = true;
            return;
        }
        const std::uint64_t overlap = occupy(start, end);
        if (overlap != 0 && !placed.keepAliveOrProbe && !isRepeat(placed.place)) {
            const bool spurious = acknowledged >= end;
            ++result.retransmissions;
            result.reverseRetransmissions += own;
            result.retransmittedBytes += overlap;
            result.spurious += spurious ? 1U : 0U;
            if (writeDetails_) {
                describe(segment, flow, overlap, spurious, out, namesSender_ ? sender_ : std::string_view());
            }
            if (times != nullptr) {
                times->push_back(segment.captureMicros());
            }
            if (places != nullptr) {
                places->push_back(placed.place);
            }
        }
        furthest = reached ? std::max(furthest, end) : end;
        reached = true;
    });
}

std::uint64_t RetransmissionFinder::occupy(std::int64_t start, std::int64_t end) {
    // The first range that overlaps or touches [start, end): the last one that starts at or before `start`
    // if it reaches it, else the first one after it.
    auto first = occupied_.upper_bound(start);
    if (first != occupied_.begin() && std::prev(first)->second >= start) {
        --first;
    }
    std::uint64_t overlap = 0;
    std::int64_t mergedStart = start;
    std::int64_t mergedEnd = end;
    auto last = first;
    for (; last != occupied_.end() && last->first <= end; ++last) {
        const std::int64_t from = std::max(start, last->first);
        const std::int64_t to = std::min(end, last->second);
        overlap += to > from ? static_cast<std::uint64_t>(to - from) : 0;
        mergedStart = std::min(mergedStart, last->first);
        mergedEnd = std::max(mergedEnd, last->second);
    }
    // Data in order only moves the end of the range it continues.
    if (first != last && first->first == mergedStart) {
        first->second = mergedEnd;
        occupied_.erase(std::next(first), last);
    } else {
        occupied_.emplace_hint(occupied_.erase(first, last), mergedStart, mergedEnd);
    }
    return overlap;
}

std::optional<FlowRetransmissions::Handshake> RetransmissionFinder::timeHandshake(
    const SequenceEvaluator& flow) {
    // The side of the first SYN without ACK opens the connection.
    std::optional<std::size_t> opener;
    // Kept by value: a spilled flow's walk reuses its buffers.
    SegmentRecord syn;
    std::optional<SegmentRecord> synAck;
    std::optional<FlowRetransmissions::Handshake> timed;
    flow.walkCapture(0, [&](std::size_t side, const PlacedSegment& placed) {
        const SegmentRecord& segment = placed.segment;
        const bool synFlag = segment.has(SegmentRecord::kSyn);
        const bool ackFlag = segment.has(SegmentRecord::kAck);
        if (synFlag && !ackFlag && (!opener || side == *opener)) {
            // A SYN, or one sent again: the handshake counts from the last.
            opener = side;
            syn = segment;
            synAck.reset();
        } else if (opener && side != *opener && synFlag && ackFlag && !synAck &&
                   segment.acknowledgementNumber == syn.sequenceNumber + 1) {
            synAck = segment;
        } else if (synAck && side == *opener && !synFlag && ackFlag &&
                   segment.acknowledgementNumber == synAck->sequenceNumber + 1) {
            const FlowRetransmissions::Handshake times{microsBetween(syn, *synAck),
                                                       microsBetween(*synAck, segment)};
            // Capture times that go backwards time nothing.
            if (times.synToSynAck >= 0 && times.synAckToAck >= 0) {
                timed = times;
            }
            return false;
        }
        return true;
    });
    return timed;
}

void RetransmissionFinder::describe(const SegmentRecord& segment, const SequenceEvaluator& flow,
                                    std::uint64_t overlap, bool spurious, DetailText& out,
                                    std::string_view sender) {
    DetailRow row(out);
    row.packet(segment.packetNumber(), segment.captureTime())
        .text(",Sequence Number,")
        .number(segment.sequenceNumber)
        .text(",Tuple,")
        .tuple(flow)
        .text(",End Sequence Number,")
        .number(static_cast<std::uint32_t>(segment.sequenceNumber + segment.segmentLength))
        .text(",Retransmitted Bytes,")
        .number(overlap)
        .text(spurious ? ",Kind,spurious" : ",Kind,retransmission");
    if (!sender.empty()) {
        row.text(",Sender,").text(sender);
    }
    row.end();
}

}  // namespace korvo::measurement
