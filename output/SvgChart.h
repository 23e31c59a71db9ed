#pragma once
// The report's charts, drawn as inline SVG by the tool itself: lines over the intervals of capture time,
// and bars of a distribution. Colours come from the page's style sheet, so that a chart follows the page
// into dark mode and onto paper. Every series carries its numbers as data attributes, exactly as drawn.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "measurement/SequenceGraph.h"

namespace korvo::measurement {

class SvgChart {
public:
    struct Series {
        // The data-series name and the legend's label.
        std::string name;
        std::string label;
        std::vector<double> values;
        // Further attributes of the line, such as data-bytes="...", already escaped.
        std::string attributes;
    };
    struct Intervals {
        // Microseconds since 1970, and the width in microseconds.
        std::int64_t firstStart = 0;
        std::int64_t width = 1;
        std::size_t count = 0;
        // The microseconds of the last interval that the capture reaches into, when it ends before the
        // interval does: that interval's values are of a part of it, so its point is marked apart rather
        // than joined to the line as a drop. Zero when the last interval is whole.
        std::int64_t lastPartial = 0;
    };
    struct Bar {
        std::string label;
        std::uint64_t count = 0;
        // Further attributes of the bar, already escaped.
        std::string attributes;
    };

    // A line per series over `intervals`, the y axis in `unit`; `banded`, each line in a band of its own
    // with its own scale.
    [[nodiscard]] static std::string overTime(std::string_view id, std::string_view title,
                                              std::string_view unit, const Intervals& intervals,
                                              const std::vector<Series>& series, bool banded = false);
    // A bar per entry, the y axis counting `unit`.
    [[nodiscard]] static std::string bars(std::string_view id, std::string_view title, std::string_view unit,
                                          std::string_view axis, const std::vector<Bar>& bars);
    // A flow's time-sequence graph: a panel per direction that sent anything, `sides` naming them, its
    // segments as vertical strokes from their first to their last sequence number over time, the other
    // side's acknowledgements as a line, those advertising a zero window as dots, holes as bands, and
    // retransmissions and out-of-order segments in colours of their own.
    [[nodiscard]] static std::string sequence(std::string_view id, std::string_view title,
                                              const SequenceGraph& graph,
                                              const std::array<std::string, 2>& sides);
    // A value as the charts write it: integers as they are, others with six significant digits.
    [[nodiscard]] static std::string number(double value);
    static void appendNumber(std::string& out, double value);
    // A span of microseconds in the unit that suits it: "250 ms", "2 s", "10 min", "1 d".
    [[nodiscard]] static std::string span(std::int64_t micros);
    // The same in the unit that suits `scale`, so that a row of ticks shares one unit: "0 s", "5 s".
    [[nodiscard]] static std::string span(std::int64_t micros, std::int64_t scale);
};

}  // namespace korvo::measurement
