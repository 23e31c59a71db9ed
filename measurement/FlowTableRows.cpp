#include "measurement/FlowTableRows.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <optional>
#include <string_view>

#include "figure/DetailRow.h"
#include "figure/TimeText.h"

namespace korvo::measurement {

namespace {

// A comma and `value` in decimal.
char* putNumber(char* out, std::uint64_t value) {
    *out++ = ',';
    return std::to_chars(out, out + std::numeric_limits<std::uint64_t>::digits10 + 1, value).ptr;
}

// The flow text, then the addresses and ports as fields, of an IPv4 or an IPv6 tuple.
template <typename Tuple>
char* writeTupleFields(char* out, std::string_view flowText, const Tuple& tuple) {
    out = std::ranges::copy(flowText, out).out;
    *out++ = ',';
    out = Tuple::writeAddress(out, tuple.sourceAddress);
    out = putNumber(out, ntohs(tuple.sourcePort));
    *out++ = ',';
    out = Tuple::writeAddress(out, tuple.destinationAddress);
    return putNumber(out, ntohs(tuple.destinationPort));
}

// A comma and `micros` as milliseconds with three decimals, or a lone comma for no time. Handshake times
// are never negative: a handshake whose capture times go backwards is not timed.
char* putMillis(char* out, std::optional<std::int64_t> micros) {
    *out++ = ',';
    return micros ? TimeText::writeMillis(out, *micros) : out;
}

}  // namespace

std::string FlowTableRows::header() const {
    std::string text(kHeader.substr(0, kHeader.size() - 2));
    if (retransmissions_) {
        text += kRetransmissionColumns;
    }
    if (retransmissions_ && connections_) {
        text += kRetransmissionSideColumns;
    }
    if (connections_) {
        text += kConnectionColumns;
    }
    text += "\r\n";
    return text;
}

void FlowTableRows::handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) {
    const std::uint64_t forward = flow.packets(0);
    const std::uint64_t reverse = flow.packets(1);
    const SequenceEvaluator::Span span = flow.captureSpan();
    if (pendingCount_ == kPendingRows) {
        writeOldest();
    }
    PendingRow& row = pending_[(pendingFirst_ + pendingCount_) % kPendingRows];
    ++pendingCount_;
    row.ipv6 = flow.isIpv6();
    if (row.ipv6) {
        row.ipv6Tuple = flow.ipv6Tuple();
    } else {
        row.tuple = flow.getTuple();
        volumes_.prefetch(row.tuple);
    }
    // Each part is put together in one buffer and reaches the text in one append: rows come by the million.
    // The flow text holds no comma, quote or line end, so no field needs quoting.
    char* out = writeEndpoints(row.head.data(), flow.text(), row);
    *out++ = ',';
    out = isoTimes_.write(out, span.first);
    *out++ = ',';
    out = isoTimes_.write(out, span.last);
    *out++ = ',';
    out = TimeText::writeSeconds(out, boost::posix_time::microseconds(span.last - span.first));
    out = putNumber(out, forward);
    out = putNumber(out, reverse);
    row.headLength = static_cast<std::uint16_t>(out - row.head.data());
    out = putNumber(row.tail.data(), verdict.count(FlowVerdict::Anomaly::kGaps));
    out = putNumber(out, verdict.count(FlowVerdict::Anomaly::kOutOfOrder));
    out = putNumber(out, verdict.count(FlowVerdict::Anomaly::kRepeats));
    out = std::ranges::copy(std::string_view(forward == 0 || reverse == 0 ? ",1" : ",0"), out).out;
    if (retransmissions_) {
        // Every flow has its retransmissions left by the figures, which are connected before these rows.
        const FlowRetransmissions& found = verdict.retransmissions.value();
        out = putNumber(out, found.retransmissions);
        out = putNumber(out, found.retransmittedBytes);
        out = putNumber(out, found.spurious);
        out = putMillis(out, found.handshake ? std::optional(found.handshake->synToSynAck) : std::nullopt);
        out = putMillis(out, found.handshake ? std::optional(found.handshake->synAckToAck) : std::nullopt);
    }
    if (connections_) {
        out = writeConnection(out, verdict);
    }
    row.tailLength = static_cast<std::uint16_t>(out - row.tail.data());
}

char* FlowTableRows::writeConnection(char* out, const FlowVerdict& verdict) const {
    if (retransmissions_) {
        const FlowRetransmissions& found = verdict.retransmissions.value();
        out = putNumber(out, found.retransmissions - found.reverseRetransmissions);
        out = putNumber(out, found.reverseRetransmissions);
    }
    const FlowConnection& connection = verdict.connection.value();
    *out++ = ',';
    out = std::ranges::copy(FlowConnection::nameOf(connection.state), out).out;
    for (const std::uint64_t count :
         {connection.dataBytes[0], connection.dataBytes[1], connection.missedBytes, connection.resets[0],
          connection.resets[1], connection.zeroWindows[0], connection.zeroWindows[1]}) {
        out = putNumber(out, count);
    }
    const std::optional<FlowConnection::RoundTrips>& roundTrips = connection.roundTrips;
    out = putMillis(out, roundTrips ? std::optional(roundTrips->least) : std::nullopt);
    out = putMillis(out, roundTrips ? std::optional(roundTrips->median) : std::nullopt);
    return putMillis(out, roundTrips ? std::optional(roundTrips->most) : std::nullopt);
}

char* FlowTableRows::writeEndpoints(char* out, std::string_view flowText, const PendingRow& row) {
    return row.ipv6 ? writeTupleFields(out, flowText, row.ipv6Tuple)
                    : writeTupleFields(out, flowText, row.tuple);
}

void FlowTableRows::writeOldest() {
    const PendingRow& row = pending_[pendingFirst_];
    const FlowVolumeTally::Volume volume =
        row.ipv6 ? volumes_.volumeOf(row.ipv6Tuple) : volumes_.volumeOf(row.tuple);
    std::array<char, kMostHeadLength + 2 * (1 + kMostNumberLength) + kMostTailLength> text;
    char* out = std::copy_n(row.head.data(), row.headLength, text.data());
    out = putNumber(out, volume.forward);
    out = putNumber(out, volume.reverse);
    out = std::copy_n(row.tail.data(), row.tailLength, out);
    DetailRow(rows_).text(std::string_view(text.data(), out)).end("\r\n");
    pendingFirst_ = (pendingFirst_ + 1) % kPendingRows;
    --pendingCount_;
}

void FlowTableRows::writePending() {
    while (pendingCount_ != 0) {
        writeOldest();
    }
}

void FlowTableRows::absorb(SequenceEvaluatorHandler& later) {
    writePending();
    auto& laterTable = static_cast<FlowTableRows&>(later);
    laterTable.writePending();
    rows_.append(laterTable.rows_);
}

void FlowTableRows::flush() {
    writePending();
    rows_.flush();
}

}  // namespace korvo::measurement
