#include "measurement/FlowTableRows.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "measurement/DetailRow.h"
#include "measurement/TimeText.h"

namespace korvo::measurement {

namespace {

constexpr std::size_t kMostNumberLength = 20;
// The flow, four endpoint fields, three time fields, seven counts and the simplex flag, each but the first
// after its comma.
constexpr std::size_t kMostRowLength = FlowTuple::kMostTextLength + 2 * (1 + 15 + 1 + kMostNumberLength) +
                                       3 * (1 + TimeText::kMostTextLength) + 7 * (1 + kMostNumberLength) + 2;

// Both directions' count of one kind, as the figures judged them.
std::uint64_t anomaliesOf(const SequenceEvaluator& flow, SequenceEvaluator::Anomaly kind) {
    if (!flow.mayHoldAnomalies()) {
        return 0;
    }
    // Every judged flow has its counts left by the figures, which are connected before these rows.
    return flow.recall(kind, false).value() + flow.recall(kind, true).value();
}

// A comma and `value` in decimal.
char* putNumber(char* out, std::uint64_t value) {
    *out++ = ',';
    return std::to_chars(out, out + kMostNumberLength, value).ptr;
}

}  // namespace

void FlowTableRows::handleSequenceEvaluator(const SequenceEvaluator& flow) {
    const SegmentList& forward = flow.forward().byCapture;
    const SegmentList& reverse = flow.reverse().byCapture;
    // Capture order is file order, and a file's timestamps need not rise: take the extremes.
    boost::posix_time::ptime first = forward[0].captureTime();
    boost::posix_time::ptime last = first;
    for (const SegmentList* direction : {&forward, &reverse}) {
        for (const SegmentRecord& segment : *direction) {
            const boost::posix_time::ptime time = segment.captureTime();
            first = std::min(first, time);
            last = std::max(last, time);
        }
    }
    const FlowTuple& tuple = flow.getTuple();
    const FlowVolumeTally::Volume volume = volumes_.volumeOf(tuple);
    // The row is put together in one buffer and reaches the text in one append: rows come by the million.
    // The flow text holds no comma, quote or line end, so no field needs quoting.
    std::array<char, kMostRowLength> row;
    char* out = tuple.writeText(row.data());
    *out++ = ',';
    out = FlowTuple::writeAddress(out, tuple.sourceAddress);
    out = putNumber(out, ntohs(tuple.sourcePort));
    *out++ = ',';
    out = FlowTuple::writeAddress(out, tuple.destinationAddress);
    out = putNumber(out, ntohs(tuple.destinationPort));
    *out++ = ',';
    out = TimeText::writeIsoTime(out, first);
    *out++ = ',';
    out = TimeText::writeIsoTime(out, last);
    *out++ = ',';
    out = TimeText::writeSeconds(out, last - first);
    for (const std::uint64_t count :
         {std::uint64_t{forward.size()}, std::uint64_t{reverse.size()}, volume.forward, volume.reverse,
          anomaliesOf(flow, SequenceEvaluator::Anomaly::kGaps),
          anomaliesOf(flow, SequenceEvaluator::Anomaly::kOutOfOrder),
          anomaliesOf(flow, SequenceEvaluator::Anomaly::kRepeats)}) {
        out = putNumber(out, count);
    }
    out = std::ranges::copy(std::string_view(forward.empty() || reverse.empty() ? ",1" : ",0"), out).out;
    DetailRow(rows_).text(std::string_view(row.data(), out)).end("\r\n");
    if (sink_ && rows_.heldBytes() >= kStreamPiece) {
        flush();
    }
}

void FlowTableRows::absorb(SequenceEvaluatorHandler& later) {
    const DetailText& laterRows = static_cast<const FlowTableRows&>(later).rows_;
    if (!sink_) {
        rows_.append(laterRows);
        return;
    }
    flush();
    laterRows.forEachPiece(sink_);
}

void FlowTableRows::flush() {
    rows_.forEachPiece(sink_);
    rows_.clear();
}

}  // namespace korvo::measurement
