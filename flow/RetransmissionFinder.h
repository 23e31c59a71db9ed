#pragma once
// Finds the retransmissions of one TCP flow and times its handshake. Per direction, walking both directions
// in capture order: a segment that occupies sequence space of which some was already occupied by an
// earlier-captured segment of its direction is a retransmission, unless it is a keep-alive (at most one
// byte, one below the furthest sequence number reached), a zero-window probe (one byte while the other side
// last advertised a zero window) or a repeat (a copy: the same identification, sequence number, length and
// acknowledgement number as an earlier segment). Its retransmitted bytes are those of the overlap; it is
// spurious when the other side had already acknowledged its whole range. An acknowledgement beyond the
// sequence space its direction had reached when it was captured acknowledges nothing. A new connection on the
// same addresses and ports starts afresh.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "figure/DetailText.h"
#include "flow/FlowRetransmissions.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

class RetransmissionFinder {
public:
    // With `namesSender`, each row ends with the address and port that sent the retransmission.
    explicit RetransmissionFinder(bool writeDetails, bool namesSender = false)
        : writeDetails_(writeDetails), namesSender_(namesSender) {}

    // Judges both directions of `flow`; with details on, appends one row per retransmission to `out`, the
    // forward direction's first, each in capture order. Where `times` is given, the capture time of each
    // retransmission is appended to it, and where `places` is given, its place in its direction's capture
    // order (the forward direction's first).
    FlowRetransmissions find(const SequenceEvaluator& flow, DetailText& out,
                             std::vector<std::int64_t>* times = nullptr,
                             std::array<std::vector<std::uint32_t>, 2>* places = nullptr);

    // "Packet Number,..,Capture Time,..,Sequence Number,..,Tuple,..,End Sequence Number,..,Retransmitted
    // Bytes,..,Kind,retransmission|spurious" for a retransmitted segment that ends at `end` (the sequence
    // number after its last), then ",Sender,ADDRESS:PORT" where `sender` is not empty.
    static void describe(const SegmentRecord& segment, const SequenceEvaluator& flow, std::uint64_t overlap,
                         bool spurious, DetailText& out, std::string_view sender = {});

private:
    void judgeDirection(const SequenceEvaluator& flow, bool reverse, FlowRetransmissions& result,
                        DetailText& out, std::vector<std::int64_t>* times,
                        std::vector<std::uint32_t>* places);
    // The walk of direction `own`; `isRepeat(place)`, asked in ascending order of place, tells its repeats.
    template <typename IsRepeat>
    void judgeDirection(const SequenceEvaluator& flow, std::size_t own, FlowRetransmissions& result,
                        DetailText& out, std::vector<std::int64_t>* times, std::vector<std::uint32_t>* places,
                        IsRepeat isRepeat);
    // The bytes of [start, end) that occupied_ already holds; then adds the range to it.
    std::uint64_t occupy(std::int64_t start, std::int64_t end);
    static std::optional<FlowRetransmissions::Handshake> timeHandshake(const SequenceEvaluator& flow);

    bool writeDetails_;
    bool namesSender_;
    // The endpoint that sends the direction being judged, as the flow's text writes it.
    std::string sender_;
    // The sequence space the direction being judged has occupied so far: disjoint, unwrapped ranges, each
    // start to end; ordered, so that no order of segments makes finding their overlaps slow.
    std::map<std::int64_t, std::int64_t> occupied_;
    // By place in capture order: whether the segment is a repeat, for a flow in memory.
    std::vector<bool> repeats_;
};

}  // namespace korvo::measurement
