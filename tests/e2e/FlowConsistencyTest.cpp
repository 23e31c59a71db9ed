// On large synthetic captures, the flow figures agree with each other and with their detail rows: per-flow
// counts add up to the per-packet figures, every listed flow is one of the flows, listed in the same order
// everywhere, and no flow figure exceeds the number of flows.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/ToolTest.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

// One flow-level row: "Tuple,<flow>,<label>,<count>" or "Simplex Flow Tuple,<flow>,<label>,<count>".
struct FlowRow {
    std::string tuple;
    std::uint64_t count = 0;
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<FlowRow> flowRowsOf(const std::string& text, const std::string& head) {
    std::vector<FlowRow> rows;
    for (const std::string& line : linesOf(text)) {
        const std::size_t countComma = line.rfind(',');
        const std::size_t labelComma = countComma == std::string::npos || countComma == 0
                                           ? std::string::npos
                                           : line.rfind(',', countComma - 1);
        const std::string count = countComma == std::string::npos ? "" : line.substr(countComma + 1);
        if (!line.starts_with(head + ",") || labelComma == std::string::npos || labelComma <= head.size() ||
            count.empty() || count.find_first_not_of("0123456789") != std::string::npos) {
            ADD_FAILURE() << "not a flow row: " << line;
            continue;
        }
        rows.push_back({line.substr(head.size() + 1, labelComma - head.size() - 1), std::stoull(count)});
    }
    return rows;
}

// Each row names one of `flows`, every row a later one than the row before, and counts at least one item.
void expectListedInFlowOrder(const std::vector<std::string>& flows, const std::vector<FlowRow>& rows) {
    auto next = flows.begin();
    for (const FlowRow& row : rows) {
        EXPECT_GT(row.count, 0U) << row.tuple;
        next = std::find(next, flows.end(), row.tuple);
        if (next == flows.end()) {
            ADD_FAILURE() << row.tuple << " is not one of the flows, or not in flow order";
            return;
        }
        ++next;
    }
}

class FlowConsistencyTest : public ToolTest {
protected:
    [[nodiscard]] tools::synth::SynthOptions synthOptions(tools::synth::Shape shape) const {
        tools::synth::SynthOptions options;
        options.output = tool.path(kCapture).string();
        options.seed = 7;
        options.shape = shape;
        return options;
    }

    [[nodiscard]] std::uint64_t figure(const std::string& name) const {
        const std::optional<std::string> value = results.summaryValue(name);
        EXPECT_TRUE(value.has_value()) << name;
        return value ? std::stoull(*value) : 0;
    }

    // The flow-level rows of `flowFigure` name flows of `flows`, in the same order, and their counts add up
    // to the packet-level figure, which has one row per counted item.
    void expectFlowRowsAddUp(const std::vector<std::string>& flows, const std::string& flowFigure,
                             const std::string& packetFigure) const {
        SCOPED_TRACE(flowFigure + " against " + packetFigure);
        const std::vector<FlowRow> rows = flowRowsOf(results.detail(flowFigure).value_or(""), "Tuple");
        EXPECT_EQ(rows.size(), figure(flowFigure));
        EXPECT_LE(figure(flowFigure), figure("NumberTCPFlows"));
        expectListedInFlowOrder(flows, rows);
        std::uint64_t sum = 0;
        for (const FlowRow& row : rows) {
            sum += row.count;
        }
        EXPECT_EQ(sum, figure(packetFigure));
        EXPECT_EQ(linesOf(results.detail(packetFigure).value_or("")).size(), figure(packetFigure));
    }

    // The synthesised captures mix in IPv6 frames, which the run notes as left out.
    static void expectSuccessWithCoverageNote(const RunResult& result) {
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.standardOutput, "");
        EXPECT_TRUE(result.standardError.empty() ||
                    result.standardError.starts_with("Only IPv4 is analysed; frames left out: "))
            << result.standardError;
    }

    // Runs the tool with and without extended statistics on the test's capture and checks every flow figure
    // against the others and against its rows.
    void expectConsistentFlowFigures() const {
        expectSuccessWithCoverageNote(analyse(true));

        const std::vector<std::string> flows = linesOf(results.detail("NumberTCPFlows").value_or(""));
        EXPECT_EQ(flows.size(), figure("NumberTCPFlows"));
        EXPECT_EQ(std::set<std::string>(flows.begin(), flows.end()).size(), flows.size())
            << "a flow listed twice";
        expectFlowRowsAddUp(flows, "NumberTCPGapFlows", "NumberGapsInTCPFlows");
        expectFlowRowsAddUp(flows, "NumberTCPOutOfOrderFlows", "NumberOutOfOrderTCPPackets");
        expectFlowRowsAddUp(flows, "NumberTCPFlowDuplicates", "NumberTCPDuplicates");

        const std::vector<FlowRow> simplex =
            flowRowsOf(results.detail("NumberSimplexFlows").value_or(""), "Simplex Flow Tuple");
        EXPECT_EQ(simplex.size(), figure("NumberSimplexFlows"));
        EXPECT_LE(figure("NumberSimplexFlows"), figure("NumberTCPFlows"));
        expectListedInFlowOrder(flows, simplex);

        const std::string extendedSummary = results.summary().value_or("");
        const ResultFiles plain(tool.folder(), "plain");
        expectSuccessWithCoverageNote(tool.run({"-i", kCapture, "-o", "plain"}));
        EXPECT_EQ(plain.summary(), extendedSummary);
    }
};

// A few thousand frames: many short connections at once, some tagged, some jumbo, other traffic in between,
// and a share of lost, reordered, duplicated, retransmitted and cut segments.
TEST_F(FlowConsistencyTest, ConnectionsWithEveryKindOfAnomaly) {
    tools::synth::SynthOptions options = synthOptions(tools::synth::Shape::Realistic);
    options.size = 2 * 1024 * 1024;
    options.truncateShare = 0.01;
    options.mix.concurrency = 24;
    options.mix.vlanShare = 0.1;
    options.mix.jumboShare = 0.05;
    options.mix.otherShare = 0.05;
    options.mix.maxTransfer = 64 * 1024;
    options.mix.anomalies = {.loss = 0.02, .reorder = 0.02, .duplicate = 0.02, .retransmit = 0.02};
    tools::synth::synthesise(options);

    expectConsistentFlowFigures();
    EXPECT_GT(figure("NumberTCPFlows"), 100U);
    for (const char* anomaly :
         {"NumberGapsInTCPFlows", "NumberOutOfOrderTCPPackets", "NumberTCPDuplicates"}) {
        EXPECT_GT(figure(anomaly), 0U) << anomaly << ": the capture should hold such anomalies";
    }
}

// Over a thousand probes of a port scan, each a flow of its own; the unanswered ones are simplex flows.
TEST_F(FlowConsistencyTest, PortScan) {
    tools::synth::SynthOptions options = synthOptions(tools::synth::Shape::Scan);
    options.size = 200 * 1024;
    options.mix.concurrency = 64;
    tools::synth::synthesise(options);

    expectConsistentFlowFigures();
    EXPECT_GT(figure("NumberTCPFlows"), 1000U);
    EXPECT_GT(figure("NumberSimplexFlows"), 0U);
}

}  // namespace
}  // namespace korvo::e2e
