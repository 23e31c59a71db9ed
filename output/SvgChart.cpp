#include "output/SvgChart.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "output/EscapedText.h"

namespace korvo::measurement {

namespace {

constexpr double kWidth = 960;
constexpr double kHeight = 280;
constexpr double kLeft = 78;
constexpr double kRight = 16;
constexpr double kTop = 34;
constexpr double kBottom = 52;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPlotHeight = kHeight - kTop - kBottom;
constexpr int kYTicks = 4;

// Charts of a thousand points per line write many numbers: without a stream or a locale.
void appendFixed(std::string& out, double value, int decimals) {
    std::array<char, 64> buffer{};
    const auto end =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals)
            .ptr;
    out.append(buffer.data(), end);
}

std::string fixed(double value, int decimals) {
    std::string out;
    appendFixed(out, value, decimals);
    return out;
}

// A round number at or above `value`: 1, 2 or 5 times a power of ten.
double roundUp(double value) {
    if (value <= 0) {
        return 1;
    }
    const double decade = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * decade >= value) {
            return step * decade;
        }
    }
    return 10 * decade;
}

std::string open(std::string_view id, std::string_view title, std::string_view extra,
                 double height = kHeight) {
    std::string out = "<figure class=\"chart-box\"><figcaption>";
    EscapedText::appendHtml(out, title);
    out += "</figcaption>\n<svg class=\"chart\" id=\"";
    out += id;
    out += "\" viewBox=\"0 0 " + fixed(kWidth, 0) + " " + fixed(height, 0) +
           "\" role=\"img\" preserveAspectRatio=\"xMidYMid meet\"";
    out += extra;
    out += "><title>";
    EscapedText::appendHtml(out, title);
    out += "</title>\n";
    return out;
}

// A y axis for values up to `most`: at most kYTicks round steps, the top the first step at or above it.
struct Axis {
    double step = 1;
    int ticks = 1;
    [[nodiscard]] double top() const { return step * ticks; }
};

Axis axisFor(double most) {
    Axis axis;
    axis.step = roundUp(most / kYTicks);
    axis.ticks = std::max(1, static_cast<int>(std::ceil(most / axis.step - 1e-9)));
    return axis;
}

// Where a plot lies in its chart, from the top.
struct Plot {
    double top = kTop;
    double height = kPlotHeight;
    [[nodiscard]] double yOf(double value, double axisTop) const {
        return top + height * (1.0 - value / axisTop);
    }
};

// The y axis of `plot`, its ticks and grid lines, and the unit above it.
void yAxis(std::string& out, const Axis& axis, std::string_view unit, const Plot& plot = {}) {
    for (int tick = 0; tick <= axis.ticks; ++tick) {
        const double y = plot.top + plot.height * (1.0 - static_cast<double>(tick) / axis.ticks);
        out += "<line class=\"grid\" x1=\"" + fixed(kLeft, 0) + "\" x2=\"" + fixed(kLeft + kPlotWidth, 0) +
               "\" y1=\"" + fixed(y, 1) + "\" y2=\"" + fixed(y, 1) + "\"/>";
        out += "<text class=\"tick\" x=\"" + fixed(kLeft - 6, 0) + "\" y=\"" + fixed(y + 4, 1) +
               "\" text-anchor=\"end\">" + SvgChart::number(axis.step * tick) + "</text>\n";
    }
    out += "<text class=\"unit\" x=\"" + fixed(kLeft - 6, 0) + "\" y=\"" + fixed(plot.top - 14, 0) +
           "\" text-anchor=\"start\">";
    EscapedText::appendHtml(out, unit);
    out += "</text>\n";
    out += "<line class=\"axis\" x1=\"" + fixed(kLeft, 0) + "\" x2=\"" + fixed(kLeft + kPlotWidth, 0) +
           "\" y1=\"" + fixed(plot.top + plot.height, 1) + "\" y2=\"" + fixed(plot.top + plot.height, 1) +
           "\"/>\n";
}

// A round step of time for ticks along `spanMicros`, at most about seven of them: 1, 2 and 5 times a power
// of ten up to 10 s, then steps of the clock and the calendar.
std::int64_t timeStep(double spanMicros) {
    constexpr std::int64_t kSecond = 1'000'000;
    constexpr std::int64_t kMinute = 60 * kSecond;
    constexpr std::int64_t kHour = 60 * kMinute;
    constexpr std::int64_t kDay = 24 * kHour;
    constexpr std::int64_t kClock[] = {
        15 * kSecond, 30 * kSecond, kMinute,   2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute,
        30 * kMinute, kHour,        2 * kHour, 3 * kHour,   6 * kHour,   12 * kHour,   kDay,
        2 * kDay,     7 * kDay,     14 * kDay, 30 * kDay,   91 * kDay,   182 * kDay,   365 * kDay};
    const double wanted = spanMicros / 6;
    for (std::int64_t decade = 1; decade <= kSecond; decade *= 10) {
        for (const std::int64_t step : {decade, 2 * decade, 5 * decade}) {
            if (static_cast<double>(step) >= wanted) {
                return step;
            }
        }
    }
    for (const std::int64_t step : kClock) {
        if (static_cast<double>(step) >= wanted) {
            return step;
        }
    }
    // Years beyond: 1, 2 or 5 times a power of ten of them.
    std::int64_t years = 1;
    for (;;) {
        for (const std::int64_t step : {years, 2 * years, 5 * years}) {
            if (static_cast<double>(step * 365 * kDay) >= wanted) {
                return step * 365 * kDay;
            }
        }
        years *= 10;
    }
}

}  // namespace

std::string SvgChart::number(double value) {
    std::string out;
    appendNumber(out, value);
    return out;
}

void SvgChart::appendNumber(std::string& out, double value) {
    std::array<char, 64> buffer{};
    const bool integral = value == std::floor(value) && std::fabs(value) < 1e15;
    const auto end = integral ? std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                              static_cast<std::int64_t>(value))
                                    .ptr
                              : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                              std::chars_format::general, 6)
                                    .ptr;
    out.append(buffer.data(), end);
}

std::string SvgChart::span(std::int64_t micros) {
    return span(micros, micros);
}

std::string SvgChart::span(std::int64_t micros, std::int64_t scale) {
    struct Unit {
        std::int64_t micros;
        const char* name;
    };
    constexpr Unit kUnits[] = {{86'400'000'000, "d"}, {3'600'000'000, "h"}, {60'000'000, "min"},
                               {1'000'000, "s"},      {1'000, "ms"},        {1, "µs"}};
    const std::int64_t magnitude = scale < 0 ? -scale : scale;
    for (const Unit& unit : kUnits) {
        if (magnitude >= unit.micros || unit.micros == 1) {
            return number(static_cast<double>(micros) / static_cast<double>(unit.micros)) + " " + unit.name;
        }
    }
    return number(static_cast<double>(micros)) + " µs";
}

std::string SvgChart::overTime(std::string_view id, std::string_view title, std::string_view unit,
                               const Intervals& intervals, const std::vector<Series>& series, bool banded) {
    // Banded, each line has a band and a scale of its own, so that a rare kind is not drowned by a common
    // one.
    constexpr double kBand = 64;
    constexpr double kBandGap = 34;
    const bool partial = intervals.lastPartial != 0 && intervals.count > 1;
    const double height =
        banded ? kTop + static_cast<double>(series.size()) * (kBand + kBandGap) - kBandGap + kBottom
               : kHeight;
    std::string out =
        open(id, title,
             " data-intervals=\"" + std::to_string(intervals.count) + "\" data-interval-us=\"" +
                 std::to_string(intervals.width) + "\" data-first-interval-us=\"" +
                 std::to_string(intervals.firstStart) + "\"" +
                 (partial ? " data-last-partial-us=\"" + std::to_string(intervals.lastPartial) + "\""
                          : std::string()),
             height);
    const double count = static_cast<double>(std::max<std::size_t>(intervals.count, 1));
    const auto xOf = [&](double interval) { return kLeft + kPlotWidth * interval / count; };
    const auto mostOf = [](const Series& line) {
        double most = 0;
        for (const double value : line.values) {
            most = std::max(most, value);
        }
        return most;
    };
    double most = 0;
    for (const Series& line : series) {
        most = std::max(most, mostOf(line));
    }
    Axis axis = axisFor(most);
    if (!banded) {
        yAxis(out, axis, unit);
    }
    // The x axis, below the last plot: ticks at round offsets from the first interval's start.
    const double bottom = height - kBottom;
    const double spanMicros = count * static_cast<double>(intervals.width);
    const auto step = static_cast<double>(timeStep(spanMicros));
    for (double offset = 0; offset <= spanMicros + 0.5; offset += step) {
        const double x = xOf(offset / static_cast<double>(intervals.width));
        out += "<line class=\"axis\" x1=\"" + fixed(x, 1) + "\" x2=\"" + fixed(x, 1) + "\" y1=\"" +
               fixed(bottom, 1) + "\" y2=\"" + fixed(bottom + 5, 1) + "\"/>";
        out += "<text class=\"tick\" x=\"" + fixed(x, 1) + "\" y=\"" + fixed(bottom + 18, 1) +
               "\" text-anchor=\"" + (x > kLeft + kPlotWidth - 30 ? "end" : "middle") + "\">+" +
               span(static_cast<std::int64_t>(offset), static_cast<std::int64_t>(step)) + "</text>\n";
    }
    out += "<text class=\"unit\" x=\"" + fixed(kLeft + kPlotWidth, 0) + "\" y=\"" + fixed(height - 8, 0) +
           "\" text-anchor=\"end\">time from the first interval's start, intervals of " +
           span(intervals.width) + "</text>\n";
    // The lines, each point at the middle of its interval; their keys above the plot, after the unit.
    double legendX = kLeft + 8 + 7 * static_cast<double>(unit.size());
    for (std::size_t index = 0; index < series.size(); ++index) {
        const Series& line = series[index];
        Plot plot;
        if (banded) {
            plot = {kTop + static_cast<double>(index) * (kBand + kBandGap), kBand};
            axis = axisFor(mostOf(line));
            axis.step *= axis.ticks;
            axis.ticks = 1;
            yAxis(out, axis, line.label + " (" + std::string(unit) + ")", plot);
        }
        const double top = axis.top();
        std::string points;
        std::string values;
        const std::size_t joined = line.values.size() - (partial && !line.values.empty() ? 1 : 0);
        for (std::size_t interval = 0; interval < line.values.size(); ++interval) {
            if (interval != 0) {
                values += ' ';
            }
            appendNumber(values, line.values[interval]);
            if (interval < joined) {
                points += interval != 0 ? " " : "";
                appendFixed(points, xOf(static_cast<double>(interval) + 0.5), 1);
                points += ',';
                appendFixed(points, plot.yOf(line.values[interval], top), 1);
            }
        }
        const std::string colour = "s" + std::to_string(index);
        out += "<polyline class=\"series " + colour + "\" data-series=\"" + EscapedText::html(line.name) +
               "\" data-points=\"" + std::to_string(line.values.size()) + "\" data-values=\"" + values +
               "\"" + line.attributes + " points=\"" + points + "\"><title>" + EscapedText::html(line.label) +
               "</title></polyline>\n";
        if (joined < line.values.size()) {
            out += "<circle class=\"partial " + colour + "\" cx=\"" +
                   fixed(xOf(static_cast<double>(joined) + 0.5), 1) + "\" cy=\"" +
                   fixed(plot.yOf(line.values[joined], top), 1) + "\" r=\"3.5\"><title>last interval, " +
                   span(intervals.lastPartial) + " of " + span(intervals.width) +
                   " captured</title></circle>\n";
        }
        // A single point draws no line: mark it.
        if (line.values.size() == 1) {
            out += "<circle class=\"mark " + colour + "\" cx=\"" + fixed(xOf(0.5), 1) + "\" cy=\"" +
                   fixed(plot.yOf(line.values[0], top), 1) + "\" r=\"4\"/>\n";
        }
        if (!banded) {
            legendX += 24;
            out += "<rect class=\"key " + colour + "\" x=\"" + fixed(legendX, 0) + "\" y=\"" +
                   fixed(kTop - 22, 0) + "\" width=\"14\" height=\"5\"/><text class=\"legend\" x=\"" +
                   fixed(legendX + 18, 0) + "\" y=\"" + fixed(kTop - 16, 0) + "\">" +
                   EscapedText::html(line.label) + "</text>\n";
            legendX += 18 + 6.5 * static_cast<double>(line.label.size());
        }
    }
    out += "</svg></figure>\n";
    return out;
}

std::string SvgChart::sequence(std::string_view id, std::string_view title, const SequenceGraph& graph,
                               const std::array<std::string, 2>& sides) {
    constexpr double kPanel = 150;
    constexpr double kPanelGap = 56;
    // The time span of everything drawn, shared by both panels.
    std::int64_t first = 0;
    std::int64_t last = 0;
    bool any = false;
    const auto widen = [&](std::int64_t time) {
        first = any ? std::min(first, time) : time;
        last = any ? std::max(last, time) : time;
        any = true;
    };
    std::vector<std::size_t> panels;
    for (std::size_t side = 0; side < 2; ++side) {
        const SequenceGraph::Direction& direction = graph.directions[side];
        for (const SequenceGraph::Segment& segment : direction.segments) {
            widen(segment.time);
        }
        for (const SequenceGraph::Acknowledgement& acknowledgement : direction.acknowledgements) {
            widen(acknowledgement.time);
        }
        if (!direction.segments.empty() || !direction.acknowledgements.empty()) {
            panels.push_back(side);
        }
    }
    const double height =
        kTop + static_cast<double>(std::max<std::size_t>(panels.size(), 1)) * (kPanel + kPanelGap) -
        kPanelGap + kBottom;
    std::string out = open(id, title, " data-panels=\"" + std::to_string(panels.size()) + "\"", height);
    const double spanMicros = static_cast<double>(std::max<std::int64_t>(last - first, 1));
    const auto xOf = [&](std::int64_t time) {
        return kLeft + kPlotWidth * static_cast<double>(time - first) / spanMicros;
    };
    for (std::size_t row = 0; row < panels.size(); ++row) {
        const std::size_t side = panels[row];
        const SequenceGraph::Direction& direction = graph.directions[side];
        std::int64_t most = 1;
        for (const SequenceGraph::Segment& segment : direction.segments) {
            most = std::max(most, segment.end);
        }
        for (const SequenceGraph::Acknowledgement& acknowledgement : direction.acknowledgements) {
            most = std::max(most, acknowledgement.position);
        }
        const Plot plot{kTop + static_cast<double>(row) * (kPanel + kPanelGap), kPanel};
        const Axis axis = axisFor(static_cast<double>(most));
        yAxis(out, axis, sides[side] + ": sequence, bytes from its lowest", plot);
        const double top = axis.top();
        std::array<std::string, 3> strokes;
        std::array<std::size_t, 3> counts{};
        for (const SequenceGraph::Segment& segment : direction.segments) {
            const auto mark = static_cast<std::size_t>(segment.mark);
            std::string& path = strokes[mark];
            const double x = xOf(segment.time);
            path += 'M';
            appendFixed(path, x, 1);
            path += ' ';
            appendFixed(path, plot.yOf(static_cast<double>(segment.start), top), 1);
            path += 'V';
            // At least a pixel high, so that a segment of one sequence number shows.
            appendFixed(path,
                        std::min(plot.yOf(static_cast<double>(segment.end), top),
                                 plot.yOf(static_cast<double>(segment.start), top) - 1),
                        1);
            ++counts[mark];
        }
        constexpr std::array<std::string_view, 3> kMarks = {"data", "retransmission", "out-of-order"};
        for (std::size_t mark = 0; mark < kMarks.size(); ++mark) {
            if (counts[mark] != 0) {
                out += "<path class=\"stroke ";
                out += kMarks[mark];
                out += "\" data-mark=\"";
                out += kMarks[mark];
                out +=
                    "\" data-count=\"" + std::to_string(counts[mark]) + "\" d=\"" + strokes[mark] + "\"/>\n";
            }
        }
        if (!direction.acknowledgements.empty()) {
            std::string points;
            // Each zero window a dot: a stroke of no length with round ends, a dozen bytes apiece.
            std::string dots;
            std::size_t zero = 0;
            for (const SequenceGraph::Acknowledgement& acknowledgement : direction.acknowledgements) {
                const double x = xOf(acknowledgement.time);
                const double y = plot.yOf(static_cast<double>(acknowledgement.position), top);
                points += points.empty() ? "" : " ";
                appendFixed(points, x, 1);
                points += ',';
                appendFixed(points, y, 1);
                if (acknowledgement.zeroWindow) {
                    ++zero;
                    dots += 'M';
                    appendFixed(dots, x, 1);
                    dots += ' ';
                    appendFixed(dots, y, 1);
                    dots += "h0";
                }
            }
            out += "<polyline class=\"acknowledged\" data-count=\"" +
                   std::to_string(direction.acknowledgements.size()) + "\" points=\"" + points + "\"/>\n";
            if (zero != 0) {
                out += "<path class=\"zero-windows\" data-count=\"" + std::to_string(zero) + "\" d=\"" +
                       dots + "\"/>\n";
            }
        }
        if (!direction.holes.empty()) {
            out += "<g class=\"holes\" data-count=\"" + std::to_string(direction.holes.size()) + "\">";
            for (const SequenceGraph::Hole& hole : direction.holes) {
                const double y = plot.yOf(static_cast<double>(hole.end), top);
                out += "<rect class=\"hole\" x=\"" + fixed(xOf(hole.time) - 3, 1) + "\" y=\"" + fixed(y, 1) +
                       "\" width=\"6\" height=\"" +
                       fixed(std::max(1.0, plot.yOf(static_cast<double>(hole.start), top) - y), 1) + "\"/>";
            }
            out += "</g>\n";
        }
    }
    // The time axis below the last panel, from the first point drawn.
    const double bottom = height - kBottom;
    const auto step = static_cast<double>(timeStep(spanMicros));
    for (double offset = 0; offset <= spanMicros + 0.5; offset += step) {
        const double x = kLeft + kPlotWidth * offset / spanMicros;
        out += "<line class=\"axis\" x1=\"" + fixed(x, 1) + "\" x2=\"" + fixed(x, 1) + "\" y1=\"" +
               fixed(bottom, 1) + "\" y2=\"" + fixed(bottom + 5, 1) + "\"/><text class=\"tick\" x=\"" +
               fixed(x, 1) + "\" y=\"" + fixed(bottom + 18, 1) + "\" text-anchor=\"" +
               (x > kLeft + kPlotWidth - 30 ? "end" : "middle") + "\">+" +
               span(static_cast<std::int64_t>(offset), static_cast<std::int64_t>(step)) + "</text>\n";
    }
    out += "<text class=\"unit\" x=\"" + fixed(kLeft + kPlotWidth, 0) + "\" y=\"" + fixed(height - 8, 0) +
           "\" text-anchor=\"end\">time from the flow's first segment drawn</text>\n</svg></figure>\n";
    return out;
}

std::string SvgChart::bars(std::string_view id, std::string_view title, std::string_view unit,
                           std::string_view axis, const std::vector<Bar>& bars) {
    std::string out = open(id, title, " data-bars=\"" + std::to_string(bars.size()) + "\"");
    std::uint64_t most = 0;
    for (const Bar& bar : bars) {
        most = std::max(most, bar.count);
    }
    const Axis scale = axisFor(static_cast<double>(most));
    const double top = scale.top();
    yAxis(out, scale, unit);
    const double slot = kPlotWidth / static_cast<double>(std::max<std::size_t>(bars.size(), 1));
    for (std::size_t index = 0; index < bars.size(); ++index) {
        const Bar& bar = bars[index];
        const double height = kPlotHeight * static_cast<double>(bar.count) / top;
        const double x = kLeft + slot * static_cast<double>(index);
        out += "<rect class=\"bar s0\" data-count=\"" + std::to_string(bar.count) + "\"" + bar.attributes +
               " x=\"" + fixed(x + slot * 0.1, 1) + "\" y=\"" + fixed(kTop + kPlotHeight - height, 1) +
               "\" width=\"" + fixed(slot * 0.8, 1) + "\" height=\"" + fixed(height, 1) + "\"><title>" +
               EscapedText::html(bar.label) + ": " + std::to_string(bar.count) + "</title></rect>";
        // The exact count above the bar, where the axis gives only round numbers.
        out += "<text class=\"count\" x=\"" + fixed(x + slot / 2, 1) + "\" y=\"" +
               fixed(kTop + kPlotHeight - height - 4, 1) + "\" text-anchor=\"middle\">" +
               std::to_string(bar.count) + "</text>";
        out += "<text class=\"tick\" x=\"" + fixed(x + slot / 2, 1) + "\" y=\"" +
               fixed(kTop + kPlotHeight + 16, 1) + "\" text-anchor=\"middle\">" +
               EscapedText::html(bar.label) + "</text>\n";
    }
    out += "<text class=\"unit\" x=\"" + fixed(kLeft + kPlotWidth, 0) + "\" y=\"" + fixed(kHeight - 8, 0) +
           "\" text-anchor=\"end\">";
    EscapedText::appendHtml(out, axis);
    out += "</text>\n</svg></figure>\n";
    return out;
}

}  // namespace korvo::measurement
