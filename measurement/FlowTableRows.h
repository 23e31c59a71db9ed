#pragma once
// The rows of the flow table file: one CSV row per TCP flow, in hand-out order, with its endpoints, its
// earliest and latest capture time, its segments and wire bytes per direction, its gaps, out-of-order
// segments and duplicates over both directions, and whether it is simplex; then, where they are looked for,
// its retransmissions and how its connection went; all as the flow's verdict holds them.

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "figure/DetailText.h"
#include "figure/IsoTimeText.h"
#include "figure/TimeText.h"
#include "flow/FlowVolumeTally.h"
#include "flow/SequenceEvaluatorHandler.h"

namespace korvo::measurement {

class FlowTableRows : public SequenceEvaluatorHandler {
public:
    // The header line, with the RFC 4180 line end every row has.
    static constexpr std::string_view kHeader =
        "flow,src_addr,src_port,dst_addr,dst_port,first_time,last_time,duration_s,packets_fwd,packets_rev,"
        "bytes_fwd,bytes_rev,gaps,out_of_order,duplicates,simplex\r\n";
    // The columns that follow "simplex" where retransmissions are found; the two handshake times are in
    // milliseconds, empty where the handshake was not captured.
    static constexpr std::string_view kRetransmissionColumns =
        ",retransmissions,retransmitted_bytes,spurious,syn_synack_ms,synack_ack_ms";
    // Where connections are followed as well, the retransmissions split by the side that sent them.
    static constexpr std::string_view kRetransmissionSideColumns = ",retransmissions_fwd,retransmissions_rev";
    // The columns last where connections are followed; the round trips are in milliseconds, empty where the
    // flow gave no sample.
    static constexpr std::string_view kConnectionColumns =
        ",state,data_bytes_fwd,data_bytes_rev,missed_bytes,resets_fwd,resets_rev,zero_windows_fwd,"
        "zero_windows_rev,rtt_min_ms,rtt_median_ms,rtt_max_ms";

    // `volumes` must outlive this object and every copy of it. With `retransmissions`, the rows go on with
    // the flow's retransmissions, and with `connections` they end with its connection, which the verdicts
    // then hold.
    FlowTableRows(SequenceEvaluatorSource& source, const FlowVolumeTally& volumes,
                  bool retransmissions = false, bool connections = false)
        : SequenceEvaluatorHandler(source),
          volumes_(volumes),
          retransmissions_(retransmissions),
          connections_(connections) {}

    // The header line of these rows.
    [[nodiscard]] std::string header() const;

    void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) override;
    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<FlowTableRows>(source, volumes_, retransmissions_, connections_);
    }
    void absorb(SequenceEvaluatorHandler& later) override;

    // Takes what receives the rows, a piece at a time; from then on they go there as they come instead of
    // waiting to be written, so that a table of millions of flows is not copied through a temporary file.
    void streamTo(std::function<void(std::string_view)> sink) { rows_.streamTo(std::move(sink)); }
    // Passes the rows still held to the sink.
    void flush();
    // Keeps up to `bytes` of rows in memory before moving them on.
    void holdRowsUpTo(std::size_t bytes) override { rows_.holdUpTo(bytes); }

private:
    static constexpr std::size_t kMostNumberLength = std::numeric_limits<std::uint64_t>::digits10 + 1;
    // The flow, the endpoints, the times and the packet counts; then the anomaly counts and the simplex flag.
    static constexpr std::size_t kMostHeadLength =
        Ipv6FlowTuple::kMostTextLength + 2 * (1 + Ipv6FlowTuple::kMostAddressLength + 1 + kMostNumberLength) +
        3 * (1 + TimeText::kMostTextLength) + 2 * (1 + kMostNumberLength);
    // The anomaly counts and the simplex flag; then the retransmission counts and the handshake times; then
    // the retransmissions per side, the state, seven counts and three round trips.
    static constexpr std::size_t kMostStateLength = 6;
    static constexpr std::size_t kMostTailLength =
        3 * (1 + kMostNumberLength) + 2 + 3 * (1 + kMostNumberLength) + 2 * (1 + kMostNumberLength + 4) +
        2 * (1 + kMostNumberLength) + 1 + kMostStateLength + 7 * (1 + kMostNumberLength) +
        3 * (1 + kMostNumberLength + 4);

    // A row whose volumes are being fetched from memory while later flows are handled: the flows come in
    // an order unrelated to where the tally keeps them, so each lookup would otherwise wait on memory. The
    // row is held as the text before the volumes and the text after them.
    struct PendingRow {
        bool ipv6 = false;
        FlowTuple tuple;
        Ipv6FlowTuple ipv6Tuple;
        std::array<char, kMostHeadLength> head;
        std::array<char, kMostTailLength> tail;
        std::uint16_t headLength = 0;
        std::uint16_t tailLength = 0;
    };
    static constexpr std::size_t kPendingRows = 16;

    // The flow text and the endpoint fields of `row`'s tuple at `out`; returns their end.
    static char* writeEndpoints(char* out, std::string_view flowText, const PendingRow& row);
    // The retransmissions per side and the connection columns of a row at `out`; returns their end.
    char* writeConnection(char* out, const FlowVerdict& verdict) const;
    // Writes the oldest pending row to the text.
    void writeOldest();
    // Writes every pending row, in order.
    void writePending();

    const FlowVolumeTally& volumes_;
    bool retransmissions_;
    bool connections_;
    std::array<PendingRow, kPendingRows> pending_;
    // The ring of pending rows: the oldest at pendingFirst_.
    std::size_t pendingFirst_ = 0;
    std::size_t pendingCount_ = 0;
    IsoTimeText isoTimes_;
    DetailText rows_;
};

}  // namespace korvo::measurement
