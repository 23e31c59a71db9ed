#include "figure/FigurePartial.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "figure/DetailRow.h"

namespace korvo::measurement {

namespace {

constexpr std::string_view kFrameField = "Packet Number,";

// Appends `row` (without its line end) to `out`, its leading frame number moved by `offset`.
void appendRenumbered(DetailText& out, std::string_view row, std::uint64_t offset) {
    DetailRow renumbered(out);
    std::uint64_t number = 0;
    if (row.starts_with(kFrameField)) {
        const char* digits = row.data() + kFrameField.size();
        const auto [end, error] = std::from_chars(digits, row.data() + row.size(), number);
        if (error == std::errc() && end != digits) {
            renumbered.text(kFrameField).number(number + offset);
            row.remove_prefix(static_cast<std::size_t>(end - row.data()));
        }
    }
    renumbered.text(row).end();
}

}  // namespace

void FigurePartial::merge(const FigurePartial& later, std::uint64_t frameOffset) {
    count += later.count;
    bytes += later.bytes;
    if (!later.earliest.is_not_a_date_time()) {
        recordTime(later.earliest);
        recordTime(later.latest);
    }
    samples.insert(samples.end(), later.samples.begin(), later.samples.end());
    if (frameOffset == 0) {
        rows.append(later.rows);
        return;
    }
    // Rows reach here in pieces that need not end at a row's end.
    std::string unfinished;
    later.rows.forEachPiece([&](std::string_view piece) {
        for (std::size_t lineEnd = piece.find('\n'); lineEnd != std::string_view::npos;
             lineEnd = piece.find('\n')) {
            if (unfinished.empty()) {
                appendRenumbered(rows, piece.substr(0, lineEnd), frameOffset);
            } else {
                unfinished.append(piece.substr(0, lineEnd));
                appendRenumbered(rows, unfinished, frameOffset);
                unfinished.clear();
            }
            piece.remove_prefix(lineEnd + 1);
        }
        unfinished.append(piece);
    });
}

std::string FigurePartial::medianMillis() const {
    if (samples.empty()) {
        return "nan";
    }
    std::vector<std::int64_t> sorted = samples;
    const std::size_t middle = sorted.size() / 2;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(middle), sorted.end());
    double micros = static_cast<double>(sorted[middle]);
    if (sorted.size() % 2 == 0) {
        const std::int64_t below =
            *std::max_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(middle));
        micros = (micros + static_cast<double>(below)) / 2;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", micros / 1000);
    return text;
}

}  // namespace korvo::measurement
