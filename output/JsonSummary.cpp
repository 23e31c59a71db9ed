#include "output/JsonSummary.h"

#include <cctype>
#include <iterator>

#include "figure/TimeText.h"
#include "output/EscapedText.h"

namespace korvo::measurement {

namespace {

// Appends `"key": ` at `indent` spaces, after a comma unless it is the first of its object.
class JsonObject {
public:
    JsonObject(std::string& out, int indent) : out_(out), indent_(indent) { out_ += "{"; }
    std::string& key(std::string_view name) {
        out_ += first_ ? "\n" : ",\n";
        first_ = false;
        out_.append(static_cast<std::size_t>(indent_ + 2), ' ');
        EscapedText::appendJson(out_, name);
        out_ += ": ";
        return out_;
    }
    void field(std::string_view name, std::string_view rawValue) { key(name) += rawValue; }
    void field(std::string_view name, std::uint64_t value) { key(name) += std::to_string(value); }
    void flag(std::string_view name, bool value) { key(name) += value ? "true" : "false"; }
    void text(std::string_view name, std::string_view value) { EscapedText::appendJson(key(name), value); }
    // A string, or null when empty.
    void textOrNull(std::string_view name, std::string_view value) {
        if (value.empty()) {
            key(name) += "null";
        } else {
            text(name, value);
        }
    }
    void close() {
        out_ += "\n";
        out_.append(static_cast<std::size_t>(indent_), ' ');
        out_ += "}";
    }

private:
    std::string& out_;
    int indent_;
    bool first_ = true;
};

// Appends an array of one object per item, each on its lines, written by `write(object, item)`.
template <typename Items, typename Write>
void appendObjects(std::string& out, const Items& items, Write write) {
    out += "[";
    for (const auto& item : items) {
        out += &item == &*std::begin(items) ? "\n    " : ",\n    ";
        JsonObject object(out, 4);
        write(object, item);
        object.close();
    }
    out += std::empty(items) ? "]" : "\n  ]";
}

// Appends an array of values on one line, each written by `write(out, item)`.
template <typename Items, typename Write>
void appendValues(std::string& out, const Items& items, Write write) {
    out += "[";
    for (const auto& item : items) {
        out += &item == &*std::begin(items) ? "" : ", ";
        write(out, item);
    }
    out += "]";
}

std::string isoTime(boost::posix_time::ptime time) {
    if (time.is_not_a_date_time()) {
        return "null";
    }
    std::string text = "\"";
    char buffer[TimeText::kMostTextLength];
    text.append(buffer, TimeText::writeIsoTime(buffer, time));
    return text + "\"";
}

}  // namespace

std::string JsonSummary::number(std::string_view value) {
    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    std::size_t at = 0;
    const auto digits = [&] {
        const std::size_t start = at;
        while (at < value.size() && std::isdigit(static_cast<unsigned char>(value[at])) != 0) {
            ++at;
        }
        return at - start;
    };
    if (at < value.size() && value[at] == '-') {
        ++at;
    }
    const std::size_t integerStart = at;
    const std::size_t integerDigits = digits();
    bool valid = integerDigits != 0 && (integerDigits == 1 || value[integerStart] != '0');
    if (valid && at < value.size() && value[at] == '.') {
        ++at;
        valid = digits() != 0;
    }
    if (valid && at < value.size() && (value[at] == 'e' || value[at] == 'E')) {
        ++at;
        if (at < value.size() && (value[at] == '+' || value[at] == '-')) {
            ++at;
        }
        valid = digits() != 0;
    }
    return valid && at == value.size() ? std::string(value) : std::string("null");
}

std::string JsonSummary::text(const ReportContent& content, std::string_view version) {
    std::string out;
    JsonObject root(out, 0);
    root.text("tool", "Wiretally");
    root.text("version", version);

    appendObjects(root.key("inputs"), content.inputs,
                  [](JsonObject& entry, const PacketLoader::InputRead& input) {
                      entry.text("name", input.name);
                      appendValues(entry.key("linkTypes"), input.linkTypes,
                                   [](std::string& list, int type) { list += std::to_string(type); });
                      entry.field("frames", input.frames);
                      entry.field("bytes", input.bytes);
                      entry.flag("complete", input.complete);
                  });

    JsonObject reading(root.key("reading"), 2);
    reading.flag("complete", content.damage.empty());
    reading.field("framesRead", content.framesRead);
    reading.field("stoppedAfterFrame", content.damage.empty() ? "null" : std::to_string(content.framesRead));
    reading.textOrNull("reason", content.damage);
    reading.close();

    const RunOptions& options = content.options;
    JsonObject settings(root.key("options"), 2);
    settings.flag("extended", options.extended);
    settings.textOrNull("filter", options.filter);
    settings.flag("flowTable", options.flowTable);
    settings.flag("ipv6", options.decoding.ipv6);
    settings.flag("tunnels", options.decoding.tunnels);
    settings.flag("retransmissions", options.retransmissions);
    // Written only when on, so that the summaries of runs without it stay as they were.
    if (options.connections) {
        settings.flag("connections", true);
    }
    settings.flag("report", options.outputs.report);
    settings.close();

    const ReportContent::Coverage& coverage = content.coverage;
    JsonObject frames(root.key("coverage"), 2);
    frames.field("ipv4", coverage.ipv4);
    frames.field("ipv6", coverage.ipv6);
    frames.field("insideTunnels", coverage.insideTunnels);
    frames.field("behindStackedTags", coverage.behindStackedTags);
    frames.field("otherLinkTypes", coverage.otherLinkTypes);
    frames.field("leftOut", coverage.leftOutIpv6 + coverage.leftOutEncapsulated + coverage.tunnelsCutShort +
                                coverage.malformedIp + coverage.unreadable80211 +
                                coverage.linkHeaderCutShort + coverage.tunnelFragments);
    JsonObject leftOut(frames.key("leftOutByKind"), 4);
    leftOut.field("ipv6", coverage.leftOutIpv6);
    leftOut.field("insideTunnels", coverage.leftOutEncapsulated - coverage.leftOutBehindStackedTags);
    leftOut.field("behindStackedTags", coverage.leftOutBehindStackedTags);
    leftOut.field("tunnelsCutShortOrTooDeep", coverage.tunnelsCutShort);
    leftOut.field("malformedIp", coverage.malformedIp);
    // Kinds of link types decoded later than the others, named only where they occur, so that the summary
    // of a capture without them stays as it was.
    if (coverage.unreadable80211 != 0) {
        leftOut.field("unreadable80211", coverage.unreadable80211);
    }
    if (coverage.linkHeaderCutShort != 0) {
        leftOut.field("linkHeaderCutShort", coverage.linkHeaderCutShort);
    }
    if (coverage.tunnelFragments != 0) {
        leftOut.field("tunnelFragments", coverage.tunnelFragments);
    }
    leftOut.close();
    // Datagrams rather than frames, so beside the frames left out.
    if (coverage.incompleteTunnelPackets != 0) {
        frames.field("incompleteTunnelPackets", coverage.incompleteTunnelPackets);
    }
    frames.textOrNull("note", coverage.note);
    frames.close();

    JsonObject span(root.key("span"), 2);
    span.field("first", isoTime(content.first));
    span.field("last", isoTime(content.last));
    span.close();

    appendObjects(root.key("groups"), content.groups,
                  [](JsonObject& entry, const ReportContent::Group& group) {
                      entry.text("heading", group.heading);
                      appendValues(entry.key("figures"), group.figures,
                                   [](std::string& list, const ReportContent::FigureValue& figure) {
                                       EscapedText::appendJson(list, figure.figure->name);
                                   });
                  });

    JsonObject figures(root.key("figures"), 2);
    for (const ReportContent::Group& group : content.groups) {
        for (const ReportContent::FigureValue& figure : group.figures) {
            if (figure.figure->name == "CaptureDuration") {
                // Seconds with the six decimals of the microseconds, exactly: the span is never negative.
                char seconds[TimeText::kMostTextLength];
                figures.field(figure.figure->name,
                              std::string_view(seconds, TimeText::writeSeconds(seconds, content.duration)));
            } else {
                figures.field(figure.figure->name, number(figure.value));
            }
        }
    }
    figures.close();
    for (const ReportContent::Group& group : content.groups) {
        for (const ReportContent::FigureValue& figure : group.figures) {
            if (figure.figure->name == "CaptureDuration") {
                root.text("captureDurationText", figure.value);
            }
        }
    }
    root.close();
    out += "\n";
    return out;
}

}  // namespace korvo::measurement
