#pragma once
// One TCP flow, over IPv4 or IPv6, as the flow table hands it to its receivers: the tuple of its first packet
// (the forward direction) and, per direction, its segments in capture order, in sequence order and in
// identification order. A flow too large to arrange in memory is kept in temporary files instead (a
// SpilledFlow), and the walks below read it from there. Receivers read it during their call only.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "capture/FlowTuple.h"
#include "capture/Ipv6FlowTuple.h"
#include "flow/CaptureWalk.h"
#include "flow/MarkedPlaces.h"
#include "flow/PlacedSegment.h"
#include "flow/SegmentList.h"
#include "flow/SegmentMarks.h"
#include "flow/SegmentRecord.h"
#include "flow/SpilledFlow.h"

namespace korvo::measurement {

class SequenceEvaluator {
public:
    struct Direction {
        // Ascending by position (below); equal positions newest first.
        SegmentList bySequence;
        SegmentList byCapture;
        // Ascending by identification key; equal keys in capture order. Empty over IPv6, which has no
        // identification.
        SegmentList byId;
        // Each segment's sequence number unwrapped into 64 bits, by place in capture order: the first
        // segment's position is its sequence number, each next one the previous position plus the signed
        // 32-bit difference of their sequence numbers. So a direction that crosses 2^32 keeps counting up.
        // A new connection on the same addresses and ports starts its own count, placed so that its lowest
        // position is the end of all the earlier connections' sequence space: its segments follow theirs,
        // with no hole between them.
        std::span<const std::int64_t> positions;
        // The places in capture order where a new connection begins (never the first), ascending.
        std::span<const std::uint32_t> connectionStarts;
        // The places in capture order of the keep-alives and zero-window probes, ascending.
        std::span<const std::uint32_t> keepAlivesAndProbes;
    };

    // The tuple of an IPv4 flow.
    [[nodiscard]] const FlowTuple& getTuple() const { return tuple_; }
    [[nodiscard]] bool isIpv6() const { return ipv6_; }
    // The tuple of an IPv6 flow.
    [[nodiscard]] const Ipv6FlowTuple& ipv6Tuple() const { return ipv6Tuple_; }
    // The text of the flow's tuple, whichever its family. It is made once per flow and kept: every
    // receiver that lists the flow writes it.
    void appendText(std::string& out) const { out.append(text()); }
    [[nodiscard]] std::string_view text() const {
        if (textLength_ == 0) {
            textLength_ = static_cast<std::uint8_t>(
                (ipv6_ ? ipv6Tuple_.writeText(text_.data()) : tuple_.writeText(text_.data())) - text_.data());
        }
        return {text_.data(), textLength_};
    }
    // The end that sends the forward direction, or with `reverse` the reverse one, as the tuple's text
    // writes it: "10.0.0.1:1234", "[2001:db8::1]:443".
    void appendEndpoint(std::string& out, bool reverse) const {
        char text[Ipv6FlowTuple::kMostTextLength];
        out.append(text,
                   ipv6_ ? ipv6Tuple_.writeEndpoint(text, reverse) : tuple_.writeEndpoint(text, reverse));
    }
    // The earliest and latest capture time of the flow's segments, microseconds since 1970: capture order is
    // file order, and a file's timestamps need not rise.
    using Span = CaptureSpan;
    [[nodiscard]] Span captureSpan() const;
    // The segments of the forward (0) or reverse (1) direction; none in the reverse direction of a flow whose
    // two ends have the same address and port: all its segments are forward.
    [[nodiscard]] std::uint64_t packets(std::size_t side) const {
        return spilled_ != nullptr ? spilled_->packets(side)
                                   : (side == 0 ? forward_ : reverse_).view.byCapture.size();
    }
    // The TCP data bytes that a direction's segments carry, repeats and retransmissions included.
    [[nodiscard]] std::uint64_t dataBytes(std::size_t side) const;
    // The packet number of the flow's first segment.
    [[nodiscard]] std::uint64_t firstPacket() const;
    // Every anomaly needs two segments of one direction; most flows of a scan have fewer.
    [[nodiscard]] bool mayHoldAnomalies() const { return packets(0) >= 2 || packets(1) >= 2; }
    // The flow's temporary files when it is too large to arrange in memory, else none.
    [[nodiscard]] const SpilledFlow* spilled() const { return spilled_; }
    // The arrangements in memory; empty for a spilled flow, which only the walks read.
    [[nodiscard]] const Direction& forward() const { return forward_.view; }
    [[nodiscard]] const Direction& reverse() const { return reverse_.view; }

    // Calls `visit(side, placed)` for every segment of both directions in capture order; where two segments
    // have one packet number, that of the direction `first` comes last. A visitor that returns false ends
    // the walk.
    // The walks are flattened: the visitor, called once per segment, is inlined into both loops.
    template <typename Visit>
    [[gnu::flatten]] void walkCapture(std::size_t first, Visit&& visit) const {
        if (spilled_ != nullptr) {
            spilled_->walkCapture(first, visit);
            return;
        }
        const std::array<const Direction*, 2> sides{&forward_.view, &reverse_.view};
        CaptureWalk walk(sides[first]->byCapture.records(), sides[1 - first]->byCapture.records());
        std::size_t walked = 0;
        std::size_t place = 0;
        const auto placed = [&](std::size_t side, bool startsConnection, bool keepAliveOrProbe) {
            return PlacedSegment{sides[side]->byCapture.records()[place], static_cast<std::uint32_t>(place),
                                 sides[side]->positions[place], startsConnection, keepAliveOrProbe};
        };
        if (!hasMarks()) {
            // Nearly every flow: nothing marked, nothing to look up per segment.
            while (walk.next(walked, place)) {
                const std::size_t side = walked == 0 ? first : 1 - first;
                if (!visitAndGoOn(visit, side, placed(side, false, false))) {
                    return;
                }
            }
            return;
        }
        std::array<MarkedPlaces, 2> starts{MarkedPlaces(sides[0]->connectionStarts),
                                           MarkedPlaces(sides[1]->connectionStarts)};
        std::array<MarkedPlaces, 2> probes{MarkedPlaces(sides[0]->keepAlivesAndProbes),
                                           MarkedPlaces(sides[1]->keepAlivesAndProbes)};
        while (walk.next(walked, place)) {
            const std::size_t side = walked == 0 ? first : 1 - first;
            if (!visitAndGoOn(visit, side,
                              placed(side, starts[side].holds(place), probes[side].holds(place)))) {
                return;
            }
        }
    }
    // Calls `visit(placed)` for every segment of one direction in capture order. Here and in walkSequence, a
    // visitor that returns false ends the walk.
    template <typename Visit>
    [[gnu::flatten]] void walkDirection(std::size_t side, Visit&& visit) const {
        if (spilled_ != nullptr) {
            spilled_->walkDirection(side, visit);
            return;
        }
        const Direction& direction = side == 0 ? forward_.view : reverse_.view;
        const std::span<const SegmentRecord> records = direction.byCapture.records();
        MarkedPlaces starts(direction.connectionStarts);
        MarkedPlaces probes(direction.keepAlivesAndProbes);
        const bool marked = !direction.connectionStarts.empty() || !direction.keepAlivesAndProbes.empty();
        for (std::size_t place = 0; place < records.size(); ++place) {
            if (!visitAndGoOn(visit, PlacedSegment{records[place], static_cast<std::uint32_t>(place),
                                                   direction.positions[place], marked && starts.holds(place),
                                                   marked && probes.holds(place)})) {
                return;
            }
        }
    }
    // Calls `visit(placed)` for every segment of one direction in sequence order (ascending position, equal
    // positions captured last first), without the marks.
    template <typename Visit>
    [[gnu::flatten]] void walkSequence(std::size_t side, Visit&& visit) const {
        if (spilled_ != nullptr) {
            spilled_->walkSequence(side, visit);
            return;
        }
        const Direction& direction = side == 0 ? forward_.view : reverse_.view;
        for (auto segment = direction.bySequence.begin(); segment != direction.bySequence.end(); ++segment) {
            if (!visitAndGoOn(visit, PlacedSegment{*segment, segment.index(),
                                                   direction.positions[segment.index()], false, false})) {
                return;
            }
        }
    }

    // Makes this the evaluator of the flow `tuple` with the given forward and reverse segments, each in
    // capture order; they must stay in place while the evaluator is read. The previous flow's arrangements
    // are released.
    void assign(const FlowTuple& tuple, std::span<const SegmentRecord> forward,
                std::span<const SegmentRecord> reverse);
    void assign(const Ipv6FlowTuple& tuple, std::span<const SegmentRecord> forward,
                std::span<const SegmentRecord> reverse);
    // Makes this the evaluator of a flow kept in `spilled`, arranged; it must stay while the evaluator is
    // read.
    void assign(const FlowTuple& tuple, const SpilledFlow& spilled);
    void assign(const Ipv6FlowTuple& tuple, const SpilledFlow& spilled);

private:
    struct Arrangements {
        std::vector<std::uint32_t> bySequence;
        std::vector<std::uint32_t> byId;
        std::vector<std::int64_t> positions;
        Direction view;
    };

    void arrangeBoth(std::span<const SegmentRecord> forward, std::span<const SegmentRecord> reverse);
    // Whether either direction in memory has a connection start or a keep-alive or probe.
    [[nodiscard]] bool hasMarks() const {
        return !forward_.view.connectionStarts.empty() || !reverse_.view.connectionStarts.empty() ||
               !forward_.view.keepAlivesAndProbes.empty() || !reverse_.view.keepAlivesAndProbes.empty();
    }
    // Forgets the arrangements in memory: the walks read `spilled`.
    void readFrom(const SpilledFlow& spilled);
    // The lowest and highest position of a direction; and, from the first pass, whether the direction may
    // begin a new connection (a SYN after its first segment) or hold a keep-alive or probe (a segment of
    // one sequence number after its first).
    struct Extent {
        std::int64_t lowest = 0;
        std::int64_t highest = 0;
        bool laterSyn = false;
        bool oneByteSegment = false;
    };

    // `marks` null: the flow has none.
    void arrange(Arrangements& arrangements, std::span<const SegmentRecord> records, const Extent& extent,
                 const SegmentMarks* marks);
    // Unwraps a direction's sequence numbers as one connection's.
    static Extent unwrapOne(std::vector<std::int64_t>& positions, std::span<const SegmentRecord> records);
    // The same into positions already sized.
    static Extent unwrapInto(std::span<std::int64_t> positions, std::span<const SegmentRecord> records);
    // Unwraps each connection's sequence numbers and places the connections one after the other; returns the
    // lowest and highest position.
    static std::pair<std::int64_t, std::int64_t> unwrap(std::vector<std::int64_t>& positions,
                                                        std::span<const SegmentRecord> records,
                                                        std::span<const std::uint32_t> connectionStarts);
    // Sorts by position where the positions span more than 32 bits (over 4 GiB sent in one direction).
    static void sortWidePositions(Arrangements& arrangements);

    FlowTuple tuple_;
    Ipv6FlowTuple ipv6Tuple_;
    bool ipv6_ = false;
    const SpilledFlow* spilled_ = nullptr;
    // The tuple's text, made when first asked for; none while its length is zero.
    mutable std::array<char, Ipv6FlowTuple::kMostTextLength> text_{};
    mutable std::uint8_t textLength_ = 0;
    static_assert(FlowTuple::kMostTextLength <= Ipv6FlowTuple::kMostTextLength);
    Arrangements forward_;
    Arrangements reverse_;
    SegmentMarks marks_;
    // Sort keys: the ordering value in the high half, the capture position in the low half.
    std::vector<std::uint64_t> sequenceKeys_;
    std::vector<std::uint64_t> idKeys_;
    std::vector<std::size_t> runStarts_;
    // 0, 1, 2, ...: the positions of capture order.
    std::vector<std::uint32_t> identity_;
};

}  // namespace korvo::measurement
