#include "app/StateCodec.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "figure/DetailRow.h"
#include "net/WireNumbers.h"

namespace korvo::measurement {

namespace {

using boost::posix_time::ptime;

std::string number(std::uint64_t value) {
    return std::to_string(value);
}

std::string signedNumber(std::int64_t value) {
    return std::to_string(value);
}

std::string timeValue(ptime time) {
    return time.is_not_a_date_time() ? "-" : signedNumber((time - net::kEpoch).total_microseconds());
}

ptime timeOf(const WorkState& state, const std::string& value) {
    return value == "-" ? ptime() : net::kEpoch + boost::posix_time::microseconds(state.signedNumber(value));
}

// The values of `key`, which must number `count`.
std::vector<std::string> takeExactly(WorkState& state, const std::string& key, std::size_t count) {
    std::vector<std::string> values = state.take(key);
    if (values.size() != count) {
        throw std::runtime_error("a work folder's \"" + key + "\" holds " + std::to_string(values.size()) +
                                 " values instead of " + std::to_string(count));
    }
    return values;
}

void addLine(std::vector<std::string>& values, const FlowLine& line) {
    values.push_back(WorkState::encode(line.flow));
    for (const std::uint64_t field :
         {line.firstPacket, line.packetsForward, line.packetsReverse, line.dataForward, line.dataReverse,
          line.gaps, line.outOfOrder, line.duplicates}) {
        values.push_back(number(field));
    }
    values.push_back(signedNumber(line.firstTime));
    values.push_back(signedNumber(line.lastTime));
    if (!line.retransmissions) {
        values.emplace_back("-");
        return;
    }
    const FlowRetransmissions& found = *line.retransmissions;
    values.push_back(number(found.retransmissions));
    values.push_back(number(found.retransmittedBytes));
    values.push_back(number(found.spurious));
    values.push_back(number(found.reverseRetransmissions));
    if (found.handshake) {
        values.push_back(signedNumber(found.handshake->synToSynAck));
        values.push_back(signedNumber(found.handshake->synAckToAck));
    }
}

// A flow line's connection, "-" where connections were not followed.
std::vector<std::string> connectionValues(const std::optional<FlowConnection>& connection) {
    if (!connection) {
        return {"-"};
    }
    std::vector<std::string> values = {number(static_cast<std::uint64_t>(connection->state))};
    for (const std::uint64_t field :
         {connection->dataBytes[0], connection->dataBytes[1], connection->missedBytes, connection->resets[0],
          connection->resets[1], connection->zeroWindows[0], connection->zeroWindows[1]}) {
        values.push_back(number(field));
    }
    values.push_back(signedNumber(connection->longestStall));
    if (connection->roundTrips) {
        for (const std::int64_t time :
             {connection->roundTrips->least, connection->roundTrips->median, connection->roundTrips->most}) {
            values.push_back(signedNumber(time));
        }
    }
    return values;
}

std::optional<FlowConnection> takeConnection(WorkState& state) {
    const std::vector<std::string> values = state.take("connection");
    if (values.size() == 1 && values[0] == "-") {
        return std::nullopt;
    }
    if (values.size() != 9 && values.size() != 12) {
        throw std::runtime_error("a work folder's connection holds " + std::to_string(values.size()) +
                                 " values");
    }
    const std::uint64_t stateNumber = state.number(values[0]);
    if (stateNumber >= FlowConnection::kStates) {
        throw std::runtime_error("a work folder's connection has no state " + values[0]);
    }
    FlowConnection connection;
    connection.state = static_cast<FlowConnection::State>(stateNumber);
    std::uint64_t* fields[] = {&connection.dataBytes[0],  &connection.dataBytes[1],
                               &connection.missedBytes,   &connection.resets[0],
                               &connection.resets[1],     &connection.zeroWindows[0],
                               &connection.zeroWindows[1]};
    for (std::size_t field = 0; field < 7; ++field) {
        *fields[field] = state.number(values[1 + field]);
    }
    connection.longestStall = state.signedNumber(values[8]);
    if (values.size() == 12) {
        connection.roundTrips = FlowConnection::RoundTrips{
            state.signedNumber(values[9]), state.signedNumber(values[10]), state.signedNumber(values[11])};
    }
    return connection;
}

// A flow line's sequence graph: per direction, its segments, acknowledgements and holes, each list as its
// length before thinning, its length, and its points' numbers; "-" for none.
std::vector<std::string> graphValues(const std::shared_ptr<const SequenceGraph>& graph) {
    if (!graph) {
        return {"-"};
    }
    std::vector<std::string> values;
    for (const SequenceGraph::Direction& direction : graph->directions) {
        values.push_back(number(direction.allSegments));
        values.push_back(number(direction.segments.size()));
        for (const SequenceGraph::Segment& segment : direction.segments) {
            for (const std::int64_t field :
                 {segment.time, segment.start, segment.end, static_cast<std::int64_t>(segment.mark)}) {
                values.push_back(signedNumber(field));
            }
        }
        values.push_back(number(direction.allAcknowledgements));
        values.push_back(number(direction.acknowledgements.size()));
        for (const SequenceGraph::Acknowledgement& acknowledgement : direction.acknowledgements) {
            for (const std::int64_t field :
                 {acknowledgement.time, acknowledgement.position, std::int64_t{acknowledgement.zeroWindow}}) {
                values.push_back(signedNumber(field));
            }
        }
        values.push_back(number(direction.allHoles));
        values.push_back(number(direction.holes.size()));
        for (const SequenceGraph::Hole& hole : direction.holes) {
            for (const std::int64_t field : {hole.time, hole.start, hole.end}) {
                values.push_back(signedNumber(field));
            }
        }
    }
    return values;
}

std::shared_ptr<const SequenceGraph> takeGraph(WorkState& state) {
    const std::vector<std::string> values = state.take("graph");
    if (values.size() == 1 && values[0] == "-") {
        return nullptr;
    }
    std::size_t next = 0;
    // The next value as a signed number; a list's length as one that the values left can hold.
    const auto field = [&]() {
        if (next == values.size()) {
            throw std::runtime_error("a work folder's graph ends early");
        }
        return state.signedNumber(values[next++]);
    };
    const auto length = [&](std::size_t fields) {
        const std::int64_t count = field();
        if (count < 0 || static_cast<std::uint64_t>(count) > (values.size() - next) / fields) {
            throw std::runtime_error("a work folder's graph holds a list longer than its values");
        }
        return static_cast<std::size_t>(count);
    };
    auto graph = std::make_shared<SequenceGraph>();
    for (SequenceGraph::Direction& direction : graph->directions) {
        direction.allSegments = static_cast<std::uint64_t>(field());
        direction.segments.resize(length(4));
        for (SequenceGraph::Segment& segment : direction.segments) {
            segment.time = field();
            segment.start = field();
            segment.end = field();
            const std::int64_t mark = field();
            if (mark < 0 || mark > static_cast<std::int64_t>(SequenceGraph::Mark::kOutOfOrder)) {
                throw std::runtime_error("a work folder's graph has no mark " + std::to_string(mark));
            }
            segment.mark = static_cast<SequenceGraph::Mark>(mark);
        }
        direction.allAcknowledgements = static_cast<std::uint64_t>(field());
        direction.acknowledgements.resize(length(3));
        for (SequenceGraph::Acknowledgement& acknowledgement : direction.acknowledgements) {
            acknowledgement.time = field();
            acknowledgement.position = field();
            acknowledgement.zeroWindow = field() != 0;
        }
        direction.allHoles = static_cast<std::uint64_t>(field());
        direction.holes.resize(length(3));
        for (SequenceGraph::Hole& hole : direction.holes) {
            hole.time = field();
            hole.start = field();
            hole.end = field();
        }
    }
    if (next != values.size()) {
        throw std::runtime_error("a work folder's graph holds values beyond its lists");
    }
    return graph;
}

std::vector<FlowLine> takeLines(WorkState& state, const std::string& key) {
    const std::size_t count = state.number(takeExactly(state, key, 1)[0]);
    std::vector<FlowLine> lines;
    for (std::size_t index = 0; index < count; ++index) {
        const std::vector<std::string> values = state.take("flow");
        if (values.size() != 12 && values.size() != 15 && values.size() != 17) {
            throw std::runtime_error("a work folder's flow line holds " + std::to_string(values.size()) +
                                     " values");
        }
        FlowLine line;
        line.flow = state.decode(values[0]);
        std::uint64_t* fields[] = {&line.firstPacket, &line.packetsForward, &line.packetsReverse,
                                   &line.dataForward, &line.dataReverse,    &line.gaps,
                                   &line.outOfOrder,  &line.duplicates};
        for (std::size_t field = 0; field < 8; ++field) {
            *fields[field] = state.number(values[1 + field]);
        }
        line.firstTime = state.signedNumber(values[9]);
        line.lastTime = state.signedNumber(values[10]);
        if (values.size() > 12) {
            FlowRetransmissions found;
            found.retransmissions = state.number(values[11]);
            found.retransmittedBytes = state.number(values[12]);
            found.spurious = state.number(values[13]);
            found.reverseRetransmissions = state.number(values[14]);
            if (values.size() == 17) {
                found.handshake = FlowRetransmissions::Handshake{state.signedNumber(values[15]),
                                                                 state.signedNumber(values[16])};
            }
            line.retransmissions = found;
        }
        line.connection = takeConnection(state);
        line.graph = takeGraph(state);
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace

std::string StateCodec::options(const RunOptions& options) {
    return std::string("e") + (options.extended ? "1" : "0") + ",flows" + (options.flowTable ? "1" : "0") +
           ",ipv6" + (options.decoding.ipv6 ? "1" : "0") + ",tunnels" +
           (options.decoding.tunnels ? "1" : "0") + ",retransmissions" +
           (options.retransmissions ? "1" : "0") + ",connections" + (options.connections ? "1" : "0") +
           ",filter:" + WorkState::encode(options.filter);
}

void StateCodec::applyOptions(const WorkState& state, const std::string& value, RunOptions& options) {
    const std::size_t filterAt = value.find(",filter:");
    const std::string flags = value.substr(0, filterAt);
    const auto flag = [&flags](std::string_view name) {
        const std::size_t at = flags.find(name);
        return at != std::string::npos && flags.compare(at + name.size(), 1, "1") == 0;
    };
    options.extended = flag("e");
    options.flowTable = flag("flows");
    options.decoding.ipv6 = flag("ipv6");
    options.decoding.tunnels = flag("tunnels");
    options.retransmissions = flag("retransmissions");
    options.connections = flag("connections");
    options.filter = filterAt == std::string::npos ? "" : state.decode(value.substr(filterAt + 8));
}

void StateCodec::add(WorkState& state, const std::string& key, const FigurePartial& partial) {
    std::vector<std::string> values = {number(partial.count), number(partial.bytes),
                                       timeValue(partial.earliest), timeValue(partial.latest),
                                       number(partial.samples.size())};
    for (const std::int64_t sample : partial.samples) {
        values.push_back(signedNumber(sample));
    }
    state.add(key, values);
}

void StateCodec::take(WorkState& state, const std::string& key, FigurePartial& partial) {
    const std::vector<std::string> values = state.take(key);
    if (values.size() < 5 || values.size() != 5 + state.number(values[4])) {
        throw std::runtime_error("a work folder's \"" + key + "\" is damaged");
    }
    partial.count = state.number(values[0]);
    partial.bytes = state.number(values[1]);
    partial.earliest = timeOf(state, values[2]);
    partial.latest = timeOf(state, values[3]);
    partial.samples.clear();
    for (std::size_t index = 5; index < values.size(); ++index) {
        partial.samples.push_back(state.signedNumber(values[index]));
    }
}

void StateCodec::add(WorkState& state, const FrameCoverage& coverage) {
    state.add("coverage", {number(coverage.ipv4), number(coverage.ipv6), number(coverage.insideTunnels),
                           number(coverage.behindStackedTags), number(coverage.otherLinkTypes),
                           number(coverage.leftOutIpv6), number(coverage.leftOutEncapsulated),
                           number(coverage.leftOutBehindStackedTags), number(coverage.tunnelsCutShort),
                           number(coverage.malformedIp), number(coverage.unreadable80211),
                           number(coverage.linkHeaderCutShort), number(coverage.tunnelFragments),
                           number(coverage.incompleteTunnelPackets)});
}

FrameCoverage StateCodec::takeCoverage(WorkState& state) {
    const std::vector<std::string> values = takeExactly(state, "coverage", 14);
    FrameCoverage coverage;
    std::uint64_t* fields[] = {&coverage.ipv4,
                               &coverage.ipv6,
                               &coverage.insideTunnels,
                               &coverage.behindStackedTags,
                               &coverage.otherLinkTypes,
                               &coverage.leftOutIpv6,
                               &coverage.leftOutEncapsulated,
                               &coverage.leftOutBehindStackedTags,
                               &coverage.tunnelsCutShort,
                               &coverage.malformedIp,
                               &coverage.unreadable80211,
                               &coverage.linkHeaderCutShort,
                               &coverage.tunnelFragments,
                               &coverage.incompleteTunnelPackets};
    for (std::size_t field = 0; field < values.size(); ++field) {
        *fields[field] = state.number(values[field]);
    }
    return coverage;
}

void StateCodec::add(WorkState& state, const std::vector<PacketLoader::InputRead>& inputs) {
    state.add("inputs", {number(inputs.size())});
    for (const PacketLoader::InputRead& input : inputs) {
        std::vector<std::string> values = {WorkState::encode(input.name), number(input.frames),
                                           number(input.bytes), input.complete ? "1" : "0"};
        for (const int linkType : input.linkTypes) {
            values.push_back(std::to_string(linkType));
        }
        state.add("input", values);
    }
}

std::vector<PacketLoader::InputRead> StateCodec::takeInputs(WorkState& state) {
    const std::size_t count = state.number(takeExactly(state, "inputs", 1)[0]);
    std::vector<PacketLoader::InputRead> inputs;
    for (std::size_t index = 0; index < count; ++index) {
        const std::vector<std::string> values = state.take("input");
        if (values.size() < 4) {
            throw std::runtime_error("a work folder's input is damaged");
        }
        PacketLoader::InputRead input;
        input.name = state.decode(values[0]);
        input.frames = state.number(values[1]);
        input.bytes = state.number(values[2]);
        input.complete = values[3] == "1";
        for (std::size_t at = 4; at < values.size(); ++at) {
            input.linkTypes.push_back(static_cast<int>(state.number(values[at])));
        }
        inputs.push_back(std::move(input));
    }
    return inputs;
}

void StateCodec::add(WorkState& state, const std::string& key, const TimeBins& bins) {
    std::vector<std::string> values = {signedNumber(bins.width()), signedNumber(bins.firstKey())};
    for (const std::uint64_t count : bins.counts()) {
        values.push_back(number(count));
    }
    state.add(key, values);
}

TimeBins StateCodec::takeBins(WorkState& state, const std::string& key, std::size_t counters) {
    const std::vector<std::string> values = state.take(key);
    if (values.size() < 2 || (values.size() - 2) % counters != 0 || state.signedNumber(values[0]) <= 0) {
        throw std::runtime_error("a work folder's \"" + key + "\" is damaged");
    }
    std::vector<std::uint64_t> counts;
    for (std::size_t at = 2; at < values.size(); ++at) {
        counts.push_back(state.number(values[at]));
    }
    return TimeBins::restored(counters, state.signedNumber(values[0]), state.signedNumber(values[1]),
                              std::move(counts));
}

void StateCodec::add(WorkState& state, const FlowHighlights::State& highlights) {
    state.add("aligned", {highlights.aligned ? "1" : "0"});
    add(state, "anomalies", highlights.anomalies);
    std::vector<std::string> buckets;
    for (const std::uint64_t count : highlights.handshakes) {
        buckets.push_back(number(count));
    }
    state.add("handshakes", buckets);
    std::vector<std::string> states;
    for (const std::uint64_t count : highlights.states) {
        states.push_back(number(count));
    }
    state.add("states", states);
    for (const auto& [key, lines] :
         {std::pair{"mostData", &highlights.mostData}, std::pair{"mostAnomalies", &highlights.mostAnomalies},
          std::pair{"mostResets", &highlights.mostResets},
          std::pair{"longestStalls", &highlights.longestStalls}}) {
        state.add(key, {number(lines->size())});
        for (const FlowLine& line : *lines) {
            std::vector<std::string> values;
            addLine(values, line);
            state.add("flow", values);
            state.add("connection", connectionValues(line.connection));
            state.add("graph", graphValues(line.graph));
        }
    }
}

FlowHighlights::State StateCodec::takeHighlights(WorkState& state) {
    FlowHighlights::State highlights;
    highlights.aligned = takeExactly(state, "aligned", 1)[0] == "1";
    highlights.anomalies = takeBins(state, "anomalies", FlowHighlights::kCounters);
    const std::vector<std::string> buckets = takeExactly(state, "handshakes", highlights.handshakes.size());
    for (std::size_t bucket = 0; bucket < buckets.size(); ++bucket) {
        highlights.handshakes[bucket] = state.number(buckets[bucket]);
    }
    const std::vector<std::string> states = takeExactly(state, "states", highlights.states.size());
    for (std::size_t index = 0; index < states.size(); ++index) {
        highlights.states[index] = state.number(states[index]);
    }
    highlights.mostData = takeLines(state, "mostData");
    highlights.mostAnomalies = takeLines(state, "mostAnomalies");
    highlights.mostResets = takeLines(state, "mostResets");
    highlights.longestStalls = takeLines(state, "longestStalls");
    return highlights;
}

void StateCodec::writeRows(const std::string& path, const DetailText& text) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    bool written = static_cast<bool>(file);
    text.forEachPiece([&](std::string_view piece) {
        written = written && std::fwrite(piece.data(), 1, piece.size(), file.get()) == piece.size();
    });
    if (!written || std::fflush(file.get()) != 0) {
        throw std::runtime_error("Cannot write " + path + ": " + std::strerror(errno));
    }
}

void StateCodec::readRows(const std::string& path, DetailText& text) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    }
    std::string row;
    char buffer[1 << 16];
    for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, file.get())) != 0;) {
        for (std::size_t at = 0; at < got; ++at) {
            if (buffer[at] != '\n') {
                row += buffer[at];
                continue;
            }
            DetailRow(text).text(row).end();
            row.clear();
        }
    }
    if (!row.empty()) {
        throw std::runtime_error(path + " is damaged: its last row has no end");
    }
}

}  // namespace korvo::measurement
