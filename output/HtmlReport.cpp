#include "output/HtmlReport.h"

#include <pcap/pcap.h>

#include <algorithm>
#include <array>
#include <optional>

#include "figure/TimeText.h"
#include "net/WireNumbers.h"
#include "output/EscapedText.h"
#include "output/RunNotes.h"
#include "output/SvgChart.h"

namespace korvo::measurement {

namespace {

// Light by default; dark where the browser asks for it; black on white on paper.
constexpr std::string_view kStyle = R"(
:root { --ink: #1d2430; --muted: #5b6574; --paper: #ffffff; --panel: #f3f5f8; --line: #d5dae1;
  --s0: #1f6fc5; --s1: #d9730d; --s2: #2e9e5b; --s3: #b5359a; --warn: #a4260b; color-scheme: light dark; }
@media (prefers-color-scheme: dark) {
  :root { --ink: #e4e8ee; --muted: #a3adbb; --paper: #15181d; --panel: #1f242b; --line: #3a424d;
    --s0: #62a8f5; --s1: #f5a04a; --s2: #5fd08e; --s3: #e07ad0; --warn: #ff8a6b; } }
@media print { :root { --ink: #000; --muted: #333; --paper: #fff; --panel: #fff; --line: #999; }
  section { break-inside: avoid-page; } th button { cursor: default; } }
body { margin: 0 auto; max-width: 1400px; padding: 1.5em; font: 15px/1.45 system-ui, sans-serif;
  color: var(--ink); background: var(--paper); }
h1 { margin: 0 0 .2em; font-size: 1.6em; } h2 { margin-top: 1.8em; border-bottom: 1px solid var(--line); }
.sub, .muted { color: var(--muted); }
table { border-collapse: collapse; margin: .6em 0; font-variant-numeric: tabular-nums; }
th, td { padding: .25em .6em; border-bottom: 1px solid var(--line); text-align: left; vertical-align: top; }
td.n, th.n { text-align: right; }
table.flows { font-size: 12px; } table.flows td { white-space: nowrap; }
table.flows th, table.flows td { padding: .25em .3em; } table.flows th { vertical-align: bottom; }
table.flows td.flow { white-space: normal; overflow-wrap: anywhere; min-width: 10em; max-width: 16em; }
tr.group th { background: var(--panel); }
#figures td.value { font-weight: 600; text-align: right; white-space: nowrap; }
.wide { overflow-x: auto; }
th button { font: inherit; font-weight: 600; color: inherit; background: none; border: 0; padding: 0; white-space: normal;
  cursor: pointer; text-align: inherit; }
th button:focus-visible { outline: 2px solid var(--s0); outline-offset: 2px; }
th[aria-sort=ascending] button::after { content: " \25B2"; } th[aria-sort=descending] button::after { content: " \25BC"; }
.warning { color: var(--warn); font-weight: 600; }
figure.chart-box { margin: 1em 0; } figcaption { font-weight: 600; }
svg.chart { width: 100%; height: auto; background: var(--panel); border-radius: 4px; }
svg .grid { stroke: var(--line); stroke-width: 1; } svg .axis { stroke: var(--muted); stroke-width: 1; }
svg text { fill: var(--muted); font-size: 12px; } svg .legend { fill: var(--ink); }
svg .series { fill: none; stroke-width: 1.6; stroke-linejoin: round; }
svg .s0 { stroke: var(--s0); } svg .s1 { stroke: var(--s1); } svg .s2 { stroke: var(--s2); } svg .s3 { stroke: var(--s3); }
svg rect.s0, svg circle.s0 { fill: var(--s0); } svg rect.s1, svg circle.s1 { fill: var(--s1); }
svg rect.s2, svg circle.s2 { fill: var(--s2); } svg rect.s3, svg circle.s3 { fill: var(--s3); }
svg circle.partial { fill: var(--panel); stroke-width: 1.6; } svg text.count { fill: var(--ink); }
svg path.stroke { fill: none; stroke-width: 1.4; } svg path.data { stroke: var(--s0); }
svg path.retransmission { stroke: var(--warn); stroke-width: 2.2; } svg path.out-of-order { stroke: var(--s1); stroke-width: 2.2; }
svg polyline.acknowledged { fill: none; stroke: var(--s2); stroke-width: 1.2; }
svg path.zero-windows { fill: none; stroke: var(--s3); stroke-width: 7; stroke-linecap: round; }
svg rect.hole { fill: var(--warn); opacity: .35; }
details.graph { margin: .4em 0; } details.graph summary { cursor: pointer; font-family: ui-monospace, monospace; font-size: 13px; }
a { color: var(--s0); }
dt { font-weight: 600; margin-top: .6em; } dd { margin-left: 1.2em; }
code { font-size: .95em; }
)";

// Opens a graph from its link, and sorts a table by the column whose heading's button is pressed: numbers
// largest first, text from A, then the other way on the next press.
constexpr std::string_view kScript = R"(
// A link to a graph opens it.
document.querySelectorAll('a[href^="#graph-"]').forEach(function (link) {
  link.addEventListener('click', function () { document.getElementById(link.hash.slice(1)).open = true; });
});
document.querySelectorAll('table.sortable').forEach(function (table) {
  var headers = table.querySelectorAll('thead th');
  headers.forEach(function (header, column) {
    header.querySelector('button').addEventListener('click', function () {
      var numeric = header.getAttribute('data-type') === 'number';
      var sorted = header.getAttribute('aria-sort');
      var ascending = sorted ? sorted === 'descending' : !numeric;
      var body = table.tBodies[0];
      var rows = Array.prototype.slice.call(body.rows);
      var key = function (row) {
        var cell = row.cells[column];
        if (!numeric) { return cell.textContent; }
        var value = cell.getAttribute('data-value');
        return value === null || value === '' ? -Infinity : Number(value);
      };
      rows.sort(function (a, b) {
        var x = key(a), y = key(b);
        var order = numeric ? x - y : (x < y ? -1 : x > y ? 1 : 0);
        return ascending ? order : -order;
      });
      headers.forEach(function (other) { other.removeAttribute('aria-sort'); });
      header.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
      rows.forEach(function (row) { body.appendChild(row); });
    });
  });
});
)";

std::string html(std::string_view text) {
    return EscapedText::html(text);
}

std::string isoTime(boost::posix_time::ptime time) {
    char buffer[TimeText::kMostTextLength];
    return std::string(buffer, TimeText::writeIsoTime(buffer, time));
}

std::string isoMicros(std::int64_t micros) {
    using net::kEpoch;
    return isoTime(kEpoch + boost::posix_time::microseconds(micros));
}

// Microseconds as milliseconds with three decimals; never negative.
std::string millis(std::int64_t micros) {
    char buffer[TimeText::kMostTextLength];
    return std::string(buffer, TimeText::writeMillis(buffer, micros));
}

// A span of microseconds as seconds with six decimals; never negative: a flow starts no earlier than the
// capture, and ends no earlier than it starts.
std::string seconds(std::int64_t micros) {
    char buffer[TimeText::kMostTextLength];
    return std::string(buffer, TimeText::writeSeconds(buffer, boost::posix_time::microseconds(micros)));
}

std::string numberCell(std::uint64_t value) {
    const std::string text = std::to_string(value);
    return "<td class=\"n\" data-value=\"" + text + "\">" + text + "</td>";
}

}  // namespace

std::string HtmlReport::page(const ReportContent& content, std::string_view version) {
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
        "'unsafe-inline'; "
        "script-src 'unsafe-inline'\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>Wiretally report";
    if (!content.inputs.empty()) {
        out += ": " + html(content.inputs.front().name);
        if (content.inputs.size() > 1) {
            out += " and " + std::to_string(content.inputs.size() - 1) + " more";
        }
    }
    out += "</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<header><h1>Wiretally report</h1><p class=\"sub\">Wiretally v" +
           html(version) + "</p></header>\n";
    writeRead(out, content);
    writeFigures(out, content);
    writeOverTime(out, content);
    writeFlows(out, content);
    writeHandshakes(out, content);
    writeConnections(out, content);
    writeGraphs(out, content);
    writeExplanations(out, content);
    out += "<script>";
    out += kScript;
    out += "</script>\n</body>\n</html>\n";
    return out;
}

void HtmlReport::writeRead(std::string& out, const ReportContent& content) {
    out +=
        "<section id=\"read\"><h2>What was read</h2>\n<div class=\"wide\"><table id=\"inputs\"><thead><tr>"
        "<th>Capture</th><th>Link types</th><th class=\"n\">Frames</th><th class=\"n\">Bytes</th>"
        "<th>Read</th></tr></thead><tbody>\n";
    for (const PacketLoader::InputRead& input : content.inputs) {
        std::string types;
        for (const int type : input.linkTypes) {
            types += types.empty() ? "" : ", ";
            // Named as libpcap names it, with the number the capture holds: "EN10MB (1)".
            const char* name = pcap_datalink_val_to_name(type);
            types += html(name != nullptr ? name : "unknown") + " (" + std::to_string(type) + ")";
        }
        out += "<tr class=\"input\"><td class=\"input-name\">" +
               html(input.name == "-" ? "standard input" : input.name) + "</td><td>" + types + "</td>" +
               numberCell(input.frames) + numberCell(input.bytes) + "<td>" +
               (input.complete ? "to its end" : "<span class=\"warning\">up to a damaged record</span>") +
               "</td></tr>\n";
    }
    out += "</tbody></table></div>\n<p id=\"span\">";
    if (content.first.is_not_a_date_time()) {
        out += "No frame was counted.";
    } else {
        out += "Capture span: " + isoTime(content.first) + " to " + isoTime(content.last) + " (" +
               html(TimeText::duration(content.duration)) + ").";
    }
    const ReportContent::Coverage& coverage = content.coverage;
    out += "</p>\n<p id=\"coverage\">Frames analysed: " + std::to_string(coverage.ipv4) + " IPv4, " +
           std::to_string(coverage.ipv6) + " IPv6; of them " + std::to_string(coverage.insideTunnels) +
           " inside tunnels and " + std::to_string(coverage.behindStackedTags) +
           " behind stacked VLAN tags. " + std::to_string(coverage.otherLinkTypes) +
           " frames of link types that are not decoded. ";
    out += coverage.note.empty() ? "No frame carrying IP was left out." : html(coverage.note) + ".";
    if (!content.options.filter.empty()) {
        out +=
            " Only the frames that match the filter <code>" + html(content.options.filter) + "</code> count.";
    }
    out += "</p>\n";
    if (!content.damage.empty()) {
        out += "<p id=\"stopped\" class=\"warning\">" + html(RunNotes::stoppedAtDamage(content.framesRead)) +
               " (" + html(content.damage) + ").</p>\n";
    }
    out += "</section>\n";
}

void HtmlReport::writeFigures(std::string& out, const ReportContent& content) {
    out += "<section id=\"figures-section\"><h2>Figures</h2>\n<table id=\"figures\">\n";
    for (const ReportContent::Group& group : content.groups) {
        out += "<tbody><tr class=\"group\"><th colspan=\"3\">" + html(group.heading) + "</th></tr>\n";
        for (const ReportContent::FigureValue& shown : group.figures) {
            const Figure& figure = *shown.figure;
            out += "<tr data-figure=\"" + html(figure.name) + "\"><th><a href=\"#explain-" +
                   html(figure.name) + "\">" + html(figure.name) + "</a></th><td class=\"value\">" +
                   html(shown.value) + "</td><td class=\"meaning\">" + html(figure.meaning) + "</td></tr>\n";
        }
        out += "</tbody>\n";
    }
    out += "</table></section>\n";
}

void HtmlReport::writeOverTime(std::string& out, const ReportContent& content) {
    out += "<section id=\"over-time\"><h2>Over time</h2>\n";
    const TimeBins& load = *content.load;
    if (load.empty()) {
        out += "<p>No frame was counted: nothing to chart.</p></section>\n";
        return;
    }
    SvgChart::Intervals intervals{load.firstStart(), load.width(), load.intervals()};
    // The capture reaches into its last interval up to its last frame's microsecond.
    const std::int64_t lastStart =
        intervals.firstStart + intervals.width * static_cast<std::int64_t>(intervals.count - 1);
    const std::int64_t reached = LoadTimeline::microsOf(content.last) - lastStart + 1;
    intervals.lastPartial = reached < intervals.width ? reached : 0;
    out += "<p>" + std::to_string(intervals.count) + " intervals of " + SvgChart::span(intervals.width) +
           ", the first from " + isoMicros(intervals.firstStart) + ".";
    if (intervals.lastPartial != 0 && intervals.count > 1) {
        out +=
            " The capture ends " + SvgChart::span(intervals.lastPartial) +
            " into the last interval: its values, a hollow point apart from the line, are of that part only.";
    }
    out += "</p>\n";
    std::vector<SvgChart::Series> frames = {{"tcp", "frames carrying TCP", {}, {}},
                                            {"other", "other frames", {}, {}}};
    std::vector<SvgChart::Series> megabits = {{"tcp", "TCP", {}, {}}, {"other", "other", {}, {}}};
    std::string tcpBytes;
    std::string otherBytes;
    const auto width = static_cast<double>(intervals.width);
    for (std::size_t interval = 0; interval < intervals.count; ++interval) {
        frames[0].values.push_back(static_cast<double>(load.count(interval, LoadTimeline::kTcpFrames)));
        frames[1].values.push_back(static_cast<double>(load.count(interval, LoadTimeline::kOtherFrames)));
        // Bits per microsecond are megabits per second.
        megabits[0].values.push_back(static_cast<double>(load.count(interval, LoadTimeline::kTcpBytes)) * 8 /
                                     width);
        megabits[1].values.push_back(static_cast<double>(load.count(interval, LoadTimeline::kOtherBytes)) *
                                     8 / width);
        if (interval != 0) {
            tcpBytes += ' ';
            otherBytes += ' ';
        }
        tcpBytes += std::to_string(load.count(interval, LoadTimeline::kTcpBytes));
        otherBytes += std::to_string(load.count(interval, LoadTimeline::kOtherBytes));
    }
    megabits[0].attributes = " data-bytes=\"" + tcpBytes + "\"";
    megabits[1].attributes = " data-bytes=\"" + otherBytes + "\"";
    const std::string per = "per " + SvgChart::span(intervals.width);
    out += SvgChart::overTime("chart-load-frames", "Frames per interval", "frames " + per, intervals, frames);
    out += SvgChart::overTime("chart-load-mbps", "Load per interval", "Mb/s", intervals, megabits);

    const FlowHighlights& highlights = *content.highlights;
    const TimeBins& anomalies = highlights.anomalyTimes();
    std::vector<SvgChart::Series> kinds = {{"gaps", "holes", {}, {}},
                                           {"out-of-order", "out of order", {}, {}},
                                           {"duplicates", "duplicates", {}, {}}};
    if (content.options.retransmissions) {
        kinds.push_back({"retransmissions", "retransmissions", {}, {}});
    }
    for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
        for (std::size_t interval = 0; interval < intervals.count; ++interval) {
            // No flow was handed out when the capture holds no TCP: then every count is 0.
            const bool counted = !anomalies.empty() && interval < anomalies.intervals();
            kinds[kind].values.push_back(counted ? static_cast<double>(anomalies.count(interval, kind))
                                                 : 0.0);
        }
    }
    out += SvgChart::overTime("chart-anomalies", "TCP anomalies per interval", "segments " + per, intervals,
                              kinds, true);
    out += "</section>\n";
}

void HtmlReport::writeFlows(std::string& out, const ReportContent& content) {
    const FlowHighlights& highlights = *content.highlights;
    const bool retransmissions = content.options.retransmissions;
    const bool connections = content.options.connections;
    const std::vector<const FlowLine*> graphed = graphedFlows(content);
    // A flow is listed only when the capture holds a segment, so a first frame was counted.
    const std::int64_t captureStart =
        content.first.is_not_a_date_time() ? 0 : LoadTimeline::microsOf(content.first);
    // A sortable column's heading: a button, so that the keyboard reaches it.
    const auto heading = [](std::string_view label, bool numeric, std::string_view title = {}) {
        std::string cell = numeric ? "<th data-type=\"number\" class=\"n\"" : "<th data-type=\"text\"";
        if (!title.empty()) {
            cell += " title=\"" + html(title) + "\"";
        }
        return cell + "><button type=\"button\">" + html(label) + "</button></th>";
    };
    const auto timeCell = [](std::optional<std::int64_t> micros) {
        if (!micros) {
            return std::string("<td class=\"n\" data-value=\"\"></td>");
        }
        const std::string time = millis(*micros);
        return "<td class=\"n\" data-value=\"" + time + "\">" + time + "</td>";
    };
    const auto table = [&](std::string_view id, std::string_view title, const std::vector<FlowLine>& lines) {
        out += "<h3>";
        out += title;
        out += "</h3>\n";
        if (lines.empty()) {
            out += "<p class=\"muted\">None.</p>\n";
            return;
        }
        out += "<div class=\"wide\"><table class=\"sortable flows\" id=\"";
        out += id;
        out += "\"><thead><tr>" + heading("Flow", false) +
               heading("Start (s)", true, "seconds after the capture's first frame") +
               heading("Duration (s)", true) + heading("Packets fwd", true) + heading("Packets rev", true) +
               heading("Data bytes fwd", true) + heading("Data bytes rev", true) +
               heading("Anom\u00adalies", true) + heading("Gaps", true) + heading("Out of order", true) +
               heading("Dupli\u00adcates", true) + heading("Simplex", false);
        if (retransmissions) {
            out += heading("Retrans\u00admissions", true) + heading("Retrans\u00admitted bytes", true) +
                   heading("Spuri\u00adous", true) + heading("SYN to SYN-ACK (ms)", true) +
                   heading("SYN-ACK to ACK (ms)", true);
        }
        if (connections) {
            out += heading("State", false) + heading("Resets", true) + heading("Zero windows", true) +
                   heading("Longest stall (ms)", true) + heading("Median RTT (ms)", true);
        }
        out += "</tr></thead><tbody>\n";
        for (const FlowLine& line : lines) {
            const std::string start = seconds(line.firstTime - captureStart);
            const std::string duration = seconds(line.lastTime - line.firstTime);
            const auto graph = std::ranges::find_if(
                graphed, [&](const FlowLine* drawn) { return drawn->flow == line.flow; });
            const std::string flowText = graph == graphed.end()
                                             ? html(line.flow)
                                             : "<a href=\"#graph-" + std::to_string(graph - graphed.begin()) +
                                                   "\" title=\"its time-sequence graph\">" + html(line.flow) +
                                                   "</a>";
            out += "<tr><td class=\"flow\">" + flowText + "</td><td class=\"n\" data-value=\"" + start +
                   "\" title=\"" + isoMicros(line.firstTime) + "\">" + start +
                   "</td><td class=\"n\" data-value=\"" + duration + "\">" + duration + "</td>" +
                   numberCell(line.packetsForward) + numberCell(line.packetsReverse) +
                   numberCell(line.dataForward) + numberCell(line.dataReverse) +
                   numberCell(line.anomalies()) + numberCell(line.gaps) + numberCell(line.outOfOrder) +
                   numberCell(line.duplicates) + "<td>" + (line.simplex() ? "yes" : "no") + "</td>";
            if (retransmissions && line.retransmissions) {
                const FlowRetransmissions& found = *line.retransmissions;
                out += numberCell(found.retransmissions) + numberCell(found.retransmittedBytes) +
                       numberCell(found.spurious);
                const std::optional<FlowRetransmissions::Handshake>& handshake = found.handshake;
                out += timeCell(handshake ? std::optional(handshake->synToSynAck) : std::nullopt);
                out += timeCell(handshake ? std::optional(handshake->synAckToAck) : std::nullopt);
            }
            if (connections && line.connection) {
                const FlowConnection& connection = *line.connection;
                out += "<td>" + std::string(FlowConnection::nameOf(connection.state)) + "</td>" +
                       numberCell(connection.allResets()) + numberCell(connection.allZeroWindows()) +
                       timeCell(connection.allZeroWindows() != 0 ? std::optional(connection.longestStall)
                                                                 : std::nullopt) +
                       timeCell(connection.roundTrips ? std::optional(connection.roundTrips->median)
                                                      : std::nullopt);
            }
            out += "</tr>\n";
        }
        out += "</tbody></table></div>\n";
    };
    out +=
        "<section id=\"flows\"><h2>Flows</h2>\n<p class=\"muted\">Data bytes are the TCP payload carried, "
        "retransmissions included (the flow table file has the wire bytes). Anomalies are gaps, "
        "out-of-order segments";
    out += retransmissions ? ", duplicates and retransmissions together." : " and duplicates together.";
    out +=
        " The buttons in a table's headings sort it: numbers largest first, then the other way. A flow "
        "opens its time-sequence graph.</p>\n";
    const std::string top = "The " + std::to_string(FlowHighlights::kTopFlows) + " flows with ";
    table("top-bytes", top + "the most data bytes", highlights.mostData());
    table("top-anomalies", top + "the most anomalies", highlights.mostAnomalies());
    if (connections) {
        table("top-resets", top + "the most resets", highlights.mostResets());
        table("top-stalls", top + "the longest zero-window stall", highlights.longestStalls());
    }
    out += "</section>\n";
}

void HtmlReport::writeHandshakes(std::string& out, const ReportContent& content) {
    const FlowHighlights& highlights = *content.highlights;
    if (!content.options.retransmissions) {
        return;
    }
    out += "<section id=\"handshakes\"><h2>Handshake times</h2>\n";
    const auto& counts = highlights.handshakes();
    std::size_t first = counts.size();
    std::size_t last = 0;
    for (std::size_t bucket = 0; bucket < counts.size(); ++bucket) {
        if (counts[bucket] != 0) {
            first = std::min(first, bucket);
            last = bucket;
        }
    }
    if (first == counts.size()) {
        out += "<p class=\"muted\">No handshake was captured whole.</p></section>\n";
        return;
    }
    std::vector<SvgChart::Bar> bars;
    const auto& bounds = FlowHighlights::kHandshakeBounds;
    for (std::size_t bucket = first; bucket <= last; ++bucket) {
        SvgChart::Bar bar;
        bar.count = counts[bucket];
        bar.label = bucket + 1 == bounds.size() ? "≥ " + SvgChart::span(bounds[bucket])
                    : bucket == 0               ? "< " + SvgChart::span(bounds[1])
                                  : SvgChart::span(bounds[bucket]) + "–" + SvgChart::span(bounds[bucket + 1]);
        bar.attributes = " data-from-us=\"" + std::to_string(bounds[bucket]) + "\"";
        bars.push_back(bar);
    }
    out +=
        "<p>From the SYN to the ACK that completes the handshake, over the flows whose handshake was "
        "captured; their median is MedianHandshakeRTTInMs.</p>\n";
    out += SvgChart::bars("chart-handshakes", "Handshake times", "flows", "handshake time", bars);
    out += "</section>\n";
}

void HtmlReport::writeConnections(std::string& out, const ReportContent& content) {
    if (!content.options.connections) {
        return;
    }
    out += "<section id=\"connections\"><h2>How the connections went</h2>\n";
    const auto& states = content.highlights->states();
    std::vector<SvgChart::Bar> bars;
    for (std::size_t state = 0; state < states.size(); ++state) {
        if (states[state] != 0) {
            const std::string_view name = FlowConnection::nameOf(static_cast<FlowConnection::State>(state));
            bars.push_back({std::string(name), states[state], " data-state=\"" + std::string(name) + "\""});
        }
    }
    if (bars.empty()) {
        out += "<p class=\"muted\">No TCP flow.</p></section>\n";
        return;
    }
    out +=
        "<p>Flows by the state of their last connection: S0 never answered, REJ refused, S1 established and "
        "open, SF closed by both sides, S2 and S3 closed by one side, RSTO and RSTR reset by the originator "
        "and the responder, OTH captured in mid-stream.</p>\n";
    out += SvgChart::bars("chart-states", "Connection states", "flows", "state", bars);
    out += "</section>\n";
}

std::vector<const FlowLine*> HtmlReport::graphedFlows(const ReportContent& content) {
    const FlowHighlights& highlights = *content.highlights;
    std::vector<const FlowLine*> graphed;
    for (const std::vector<FlowLine>* list : {&highlights.mostData(), &highlights.mostAnomalies(),
                                              &highlights.mostResets(), &highlights.longestStalls()}) {
        for (const FlowLine& line : *list) {
            if (line.graph && std::ranges::none_of(
                                  graphed, [&](const FlowLine* drawn) { return drawn->flow == line.flow; })) {
                graphed.push_back(&line);
            }
        }
    }
    return graphed;
}

void HtmlReport::writeGraphs(std::string& out, const ReportContent& content) {
    const std::vector<const FlowLine*> graphed = graphedFlows(content);
    if (graphed.empty()) {
        return;
    }
    out +=
        "<section id=\"graphs\"><h2>Time-sequence graphs</h2>\n<p>Of each flow listed above, per direction: "
        "its segments as strokes from their first to their last sequence number at their capture time "
        "(retransmissions and out-of-order segments in colours of their own), the other side's "
        "acknowledgements as a line, those advertising a zero window as dots, and holes as bands. A "
        "flow of many segments is thinned evenly: at most " +
        std::to_string(SequenceGraph::kMostSegments) + " plain and " +
        std::to_string(SequenceGraph::kMostMarked) + " marked segments, " +
        std::to_string(SequenceGraph::kMostAcknowledgements) + " acknowledgements and " +
        std::to_string(SequenceGraph::kMostHoles) +
        " holes per direction, each graph saying so. The receive window is not drawn: only whether it was "
        "zero is kept of it.</p>\n";
    for (std::size_t index = 0; index < graphed.size(); ++index) {
        const FlowLine& line = *graphed[index];
        const SequenceGraph& graph = *line.graph;
        const std::string id = "graph-" + std::to_string(index);
        out += "<details class=\"graph\" id=\"" + id + "\"><summary>" + html(line.flow) + "</summary>\n";
        std::string thinned;
        const std::array<std::string_view, 2> sideNames = {"forward", "reverse"};
        for (std::size_t side = 0; side < 2; ++side) {
            const SequenceGraph::Direction& direction = graph.directions[side];
            if (direction.segments.size() < direction.allSegments ||
                direction.acknowledgements.size() < direction.allAcknowledgements ||
                direction.holes.size() < direction.allHoles) {
                thinned += std::string(thinned.empty() ? "Thinned: " : "; ") + std::string(sideNames[side]) +
                           " " + std::to_string(direction.segments.size()) + " of " +
                           std::to_string(direction.allSegments) + " segments, " +
                           std::to_string(direction.acknowledgements.size()) + " of " +
                           std::to_string(direction.allAcknowledgements) + " acknowledgements, " +
                           std::to_string(direction.holes.size()) + " of " +
                           std::to_string(direction.allHoles) + " holes";
            }
        }
        if (!thinned.empty()) {
            out += "<p class=\"muted thinned\">" + thinned + ".</p>\n";
        }
        // The flow's text names its first-seen side first: "TCP A:p -> B:q".
        const std::size_t arrow = line.flow.find(" -> ");
        const std::array<std::string, 2> sides = {
            arrow == std::string::npos ? "forward" : line.flow.substr(4, arrow - 4),
            arrow == std::string::npos ? "reverse" : line.flow.substr(arrow + 4)};
        out += SvgChart::sequence("chart-" + id, "Sequence over time: " + line.flow, graph, sides);
        out += "</details>\n";
    }
    out += "</section>\n";
}

void HtmlReport::writeExplanations(std::string& out, const ReportContent& content) {
    out += "<section id=\"explanations\"><h2>What the figures mean</h2>\n<dl>\n";
    for (const ReportContent::Group& group : content.groups) {
        for (const ReportContent::FigureValue& shown : group.figures) {
            const Figure& figure = *shown.figure;
            out += "<dt id=\"explain-" + html(figure.name) + "\">" + html(figure.name) + "</dt><dd>" +
                   html(figure.explanation) + "</dd>\n";
        }
    }
    out += "</dl></section>\n";
}

}  // namespace korvo::measurement
