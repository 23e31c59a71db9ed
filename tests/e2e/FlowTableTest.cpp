// --flow-table: PREFIX.Flows.csv on a written capture against a reviewed baseline; its columns add up to the
// figures and agree row by row with their detail files, on written and synthetic captures; Python's csv
// module reads it; and the option changes no other file.
//
// The baseline is tests/e2e/data/FlowTable.Flows.csv. After a reviewed change to the table, rewrite it with
//   WIRETALLY_UPDATE_BASELINES=1 ctest --test-dir build -R FlowTableTest.MatchesTheBaseline
// and check the difference with git diff before committing it.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "e2e/Baseline.h"
#include "e2e/ToolTest.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

namespace fs = std::filesystem;
using tools::FrameBuilder;

constexpr const char* kHeader =
    "flow,src_addr,src_port,dst_addr,dst_port,first_time,last_time,duration_s,packets_fwd,packets_rev,"
    "bytes_fwd,bytes_rev,gaps,out_of_order,duplicates,simplex";

// The columns of one row that the figures can be checked against.
struct TableRow {
    std::string flow;
    std::vector<std::string> fields;
    std::uint64_t packets = 0;
    std::uint64_t bytes = 0;
    std::uint64_t gaps = 0;
    std::uint64_t outOfOrder = 0;
    std::uint64_t duplicates = 0;
    bool simplex = false;
};

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> pieces;
    std::size_t begin = 0;
    for (std::size_t end = text.find(separator); end != std::string::npos;
         end = text.find(separator, begin)) {
        pieces.push_back(text.substr(begin, end - begin));
        begin = end + separator.size();
    }
    pieces.push_back(text.substr(begin));
    return pieces;
}

std::uint64_t count(const std::string& field) {
    EXPECT_FALSE(field.empty() || field.find_first_not_of("0123456789") != std::string::npos) << field;
    return field.empty() ? 0 : std::stoull(field);
}

// The rows of a flow table file: a header line, then rows, each ended by CR LF.
std::vector<TableRow> tableRowsOf(const std::string& text) {
    std::vector<std::string> lines = split(text, "\r\n");
    EXPECT_EQ(lines.back(), "") << "the last row must end with CR LF";
    lines.pop_back();
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) {
        return {};
    }
    EXPECT_EQ(lines.front(), kHeader);
    std::vector<TableRow> rows;
    for (auto line = lines.begin() + 1; line != lines.end(); ++line) {
        TableRow row;
        row.fields = split(*line, ",");
        if (row.fields.size() != 16) {
            ADD_FAILURE() << "not 16 fields: " << *line;
            continue;
        }
        const std::vector<std::string>& field = row.fields;
        row.flow = field[0];
        EXPECT_EQ(row.flow, "TCP " + field[1] + ":" + field[2] + " -> " + field[3] + ":" + field[4]);
        row.packets = count(field[8]) + count(field[9]);
        row.bytes = count(field[10]) + count(field[11]);
        row.gaps = count(field[12]);
        row.outOfOrder = count(field[13]);
        row.duplicates = count(field[14]);
        EXPECT_TRUE(field[15] == "0" || field[15] == "1") << *line;
        row.simplex = field[15] == "1";
        EXPECT_EQ(row.simplex, field[8] == "0" || field[9] == "0") << *line;
        rows.push_back(std::move(row));
    }
    return rows;
}

// The lines of a detail file, each ended by a line feed.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines = split(text, "\n");
    lines.pop_back();
    return lines;
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FlowTableTest : public ToolTest {
protected:
    [[nodiscard]] RunResult analyseWithTable(bool extended) const {
        std::vector<std::string> arguments = {"-i", kCapture, "-o", kPrefix, "--flow-table"};
        if (extended) {
            arguments.emplace_back("-e");
        }
        return tool.run(arguments);
    }

    [[nodiscard]] std::uint64_t figure(const std::string& name) const {
        const std::optional<std::string> value = results.summaryValue(name);
        EXPECT_TRUE(value.has_value()) << name;
        return value ? std::stoull(*value) : 0;
    }

    // The rows of a flow-level detail file ("<head>,<flow>,<label>,<count>") as the flow table would give
    // them: the flow and the count.
    [[nodiscard]] std::vector<std::pair<std::string, std::uint64_t>> flowRowsOf(
        const std::string& figure, std::size_t headLength) const {
        std::vector<std::pair<std::string, std::uint64_t>> rows;
        for (const std::string& line : linesOf(results.detail(figure).value_or(""))) {
            const std::size_t countComma = line.rfind(',');
            const std::size_t labelComma = line.rfind(',', countComma - 1);
            rows.emplace_back(line.substr(headLength, labelComma - headLength),
                              count(line.substr(countComma + 1)));
        }
        return rows;
    }

    // An extended run with the table: every column adds up to its figure, the flows stand in the order of
    // NumberTCPFlows.csv, and the rows with an anomaly are exactly the rows of its flow-level figure.
    [[nodiscard]] std::vector<TableRow> expectColumnsAddUp() const {
        const std::vector<TableRow> rows = tableRowsOf(results.detail("Flows").value_or(""));
        std::vector<std::string> flows;
        for (const TableRow& row : rows) {
            flows.push_back(row.flow);
        }
        EXPECT_EQ(flows, linesOf(results.detail("NumberTCPFlows").value_or("")));

        const auto sum = [&rows](std::uint64_t TableRow::*column) {
            return std::accumulate(
                rows.begin(), rows.end(), std::uint64_t{0},
                [column](std::uint64_t total, const TableRow& row) { return total + row.*column; });
        };
        EXPECT_EQ(sum(&TableRow::bytes), figure("TotalVolumeTCPInB"));
        EXPECT_EQ(sum(&TableRow::gaps), figure("NumberGapsInTCPFlows"));
        EXPECT_EQ(sum(&TableRow::outOfOrder), figure("NumberOutOfOrderTCPPackets"));
        EXPECT_EQ(sum(&TableRow::duplicates), figure("NumberTCPDuplicates"));

        const auto rowsWith = [&rows](std::uint64_t TableRow::*column) {
            std::vector<std::pair<std::string, std::uint64_t>> listed;
            for (const TableRow& row : rows) {
                if (row.*column != 0) {
                    listed.emplace_back(row.flow, row.*column);
                }
            }
            return listed;
        };
        const std::size_t tupleHead = std::string("Tuple,").size();
        EXPECT_EQ(rowsWith(&TableRow::gaps), flowRowsOf("NumberTCPGapFlows", tupleHead));
        EXPECT_EQ(rowsWith(&TableRow::outOfOrder), flowRowsOf("NumberTCPOutOfOrderFlows", tupleHead));
        EXPECT_EQ(rowsWith(&TableRow::duplicates), flowRowsOf("NumberTCPFlowDuplicates", tupleHead));

        std::vector<std::pair<std::string, std::uint64_t>> simplex;
        for (const TableRow& row : rows) {
            if (row.simplex) {
                simplex.emplace_back(row.flow, row.packets);
            }
        }
        EXPECT_EQ(simplex.size(), figure("NumberSimplexFlows"));
        EXPECT_EQ(simplex, flowRowsOf("NumberSimplexFlows", std::string("Simplex Flow Tuple,").size()));
        return rows;
    }

    void synthesise(tools::synth::Shape shape, std::uint64_t size, double truncateShare) const {
        tools::synth::SynthOptions options;
        options.output = tool.path(kCapture).string();
        options.seed = 5;
        options.shape = shape;
        options.size = size;
        options.truncateShare = truncateShare;
        options.mix.concurrency = 24;
        options.mix.vlanShare = 0.1;
        options.mix.jumboShare = 0.05;
        options.mix.otherShare = 0.05;
        options.mix.maxTransfer = 64 * 1024;
        options.mix.anomalies = {.loss = 0.02, .reorder = 0.02, .duplicate = 0.02, .retransmit = 0.02};
        segments_ = tools::synth::synthesise(options).tcpSegments();
    }

    // Set by synthesise(): the TCP segments in the capture.
    mutable std::uint64_t segments_ = 0;
};

// Frame by frame (time after 2023-12-31 23:59:59 UTC; one flow crosses into 2024):
//   10.0.0.1:40000 <-> 10.0.0.2:80: SYN, SYN+ACK behind a VLAN tag, 100 bytes, a hole of one segment,
//     the 100 bytes captured again (same identification: a duplicate, also out of order), then the server's
//     data one second later cut to 64 captured bytes and an acknowledgement padded to 60 wire bytes;
//   10.0.0.3:443 -> 10.0.0.4:50000: first seen from the server, so that is the forward direction;
//   10.0.0.5:1 -> 10.0.0.6:22: a lone SYN, simplex;
//   10.0.0.7:7 -> 10.0.0.8:8: the second segment stamped two seconds before the first;
//   10.0.0.9:9999 -> 10.0.0.9:9999: both ends alike, every segment forward, with a hole;
//   a UDP datagram in between, which no row counts.
void writeBaselineCapture(TestCapture& capture) {
    const std::uint32_t t = kNewYearsEve2023;
    const std::uint32_t client = address(10, 0, 0, 1);
    const std::uint32_t server = address(10, 0, 0, 2);
    capture.add({t, 100}, FrameBuilder()
                              .ipv4(client, server)
                              .ipIdentification(1)
                              .tcp(40000, 80, 1000, FrameBuilder::kTcpSyn)
                              .build());
    capture.add({t, 200}, FrameBuilder()
                              .vlan(5)
                              .ipv4(server, client)
                              .ipIdentification(1)
                              .tcp(80, 40000, 5000, FrameBuilder::kTcpSyn | FrameBuilder::kTcpAck)
                              .build());
    capture.add(
        {t, 300},
        FrameBuilder().ipv4(client, server).ipIdentification(2).tcp(40000, 80, 1001).payload(100).build());
    capture.add(
        {t, 400},
        FrameBuilder().ipv4(client, server).ipIdentification(4).tcp(40000, 80, 1201).payload(100).build());
    capture.add(
        {t, 500},
        FrameBuilder().ipv4(client, server).ipIdentification(2).tcp(40000, 80, 1001).payload(100).build());
    capture.add({t, 600},
                FrameBuilder().ipv4(client, address(10, 0, 0, 53)).udp(5000, 53).payload(30).build());
    capture.addCut(
        {t + 1, 0},
        FrameBuilder().ipv4(server, client).ipIdentification(2).tcp(80, 40000, 5001).payload(1000).build(),
        64);
    const std::vector<std::uint8_t> acknowledgement =
        FrameBuilder().ipv4(client, server).ipIdentification(5).tcp(40000, 80, 1301).build();
    capture.addRecord({t + 1, 250}, acknowledgement, 60);

    const std::uint32_t web = address(10, 0, 0, 3);
    const std::uint32_t browser = address(10, 0, 0, 4);
    capture.add(
        {t + 1, 300},
        FrameBuilder().ipv4(web, browser).ipIdentification(9).tcp(443, 50000, 9000).payload(10).build());
    capture.add({t + 1, 400},
                FrameBuilder().ipv4(browser, web).ipIdentification(3).tcp(50000, 443, 3000).build());

    capture.add({t + 1, 500}, FrameBuilder()
                                  .ipv4(address(10, 0, 0, 5), address(10, 0, 0, 6))
                                  .tcp(1, 22, 77, FrameBuilder::kTcpSyn)
                                  .build());

    const std::uint32_t left = address(10, 0, 0, 7);
    const std::uint32_t right = address(10, 0, 0, 8);
    capture.add({t + 3, 0}, FrameBuilder().ipv4(left, right).ipIdentification(1).tcp(7, 8, 100).build());
    capture.add({t + 1, 999999}, FrameBuilder().ipv4(right, left).ipIdentification(1).tcp(8, 7, 200).build());

    const std::uint32_t self = address(10, 0, 0, 9);
    capture.add({t + 4, 0}, FrameBuilder().ipv4(self, self).ipIdentification(1).tcp(9999, 9999, 10).build());
    capture.add({t + 4, 1}, FrameBuilder().ipv4(self, self).ipIdentification(2).tcp(9999, 9999, 500).build());
}

TEST_F(FlowTableTest, MatchesTheBaseline) {
    TestCapture capture = newCapture();
    writeBaselineCapture(capture);
    capture.close();

    expectQuietSuccess(analyseWithTable(true));
    EXPECT_EQ(expectColumnsAddUp().size(), 5U);

    expectMatchesBaseline(results.detail("Flows").value_or(""), "FlowTable.Flows.csv");
}

TEST_F(FlowTableTest, ColumnsAddUpOnConnectionsWithEveryKindOfAnomaly) {
    synthesise(tools::synth::Shape::Realistic, 2 * 1024 * 1024, 0.01);

    EXPECT_EQ(analyseWithTable(true).exitStatus, 0);
    const std::vector<TableRow> rows = expectColumnsAddUp();
    EXPECT_GT(rows.size(), 100U);
    for (const char* anomaly : {"NumberTCPGapFlows", "NumberTCPOutOfOrderFlows", "NumberTCPFlowDuplicates"}) {
        EXPECT_GT(figure(anomaly), 0U) << anomaly << ": the capture should hold such anomalies";
    }
}

// A table of several MiB goes to its file piece by piece while the flows are handed out, on one thread and
// on several, and comes out the same.
TEST_F(FlowTableTest, LongTablesAreTheSameOnOneThreadAndOnSeveral) {
    synthesise(tools::synth::Shape::RandomScan, 2 * 1024 * 1024, 0);

    expectQuietSuccess(
        tool.run({"-i", kCapture, "-o", kPrefix, "-e", "--flow-table", "--json", "--threads", "1"}));
    const std::vector<TableRow> rows = expectColumnsAddUp();
    EXPECT_GT(contents(results.detailPath("Flows")).size(), std::size_t{3} << 20);
    expectQuietSuccess(tool.run({"-i", kCapture, "-o", "several", "--flow-table", "--threads", "3"}));
    EXPECT_EQ(ResultFiles(tool.folder(), "several").detail("Flows"), results.detail("Flows"));
    std::uint64_t packets = 0;
    for (const TableRow& row : rows) {
        packets += row.packets;
    }
    EXPECT_EQ(packets, segments_);
}

// Many flows, each with its own frame sizes in both directions: every row carries the wire bytes of its own
// flow, however far the rows are written behind the flows they describe, on one thread and on several.
TEST_F(FlowTableTest, EveryRowCarriesTheBytesOfItsOwnFlow) {
    TestCapture capture = newCapture();
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> expected;
    const std::uint32_t server = address(10, 2, 0, 1);
    for (std::uint8_t flow = 1; flow <= 100; ++flow) {
        const std::uint32_t client = address(10, 1, 0, flow);
        const auto port = static_cast<std::uint16_t>(1000 + flow);
        const std::vector<std::uint8_t> request =
            FrameBuilder().ipv4(client, server).tcp(port, 80, 1000).payload(3U * flow).build();
        const std::vector<std::uint8_t> reply =
            FrameBuilder().ipv4(server, client).tcp(80, port, 5000).payload(flow).build();
        capture.add({kNewYearsEve2023, flow}, request);
        capture.add({kNewYearsEve2023, 1000U + flow}, reply);
        expected["TCP 10.1.0." + std::to_string(flow) + ":" + std::to_string(port) + " -> 10.2.0.1:80"] = {
            request.size(), reply.size()};
    }
    capture.close();

    for (const char* threads : {"1", "3"}) {
        SCOPED_TRACE(std::string("threads ") + threads);
        expectQuietSuccess(tool.run({"-i", kCapture, "-o", kPrefix, "--flow-table", "--threads", threads}));
        std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> written;
        for (const TableRow& row : tableRowsOf(results.detail("Flows").value_or(""))) {
            written[row.flow] = {count(row.fields[10]), count(row.fields[11])};
        }
        EXPECT_EQ(written, expected);
    }
}

// Without -e only the summary, the truncated frames' list and the table; the table is the same either way,
// and every other file is the one a run without the option writes.
TEST_F(FlowTableTest, ChangesNoOtherFile) {
    TestCapture capture = newCapture();
    writeBaselineCapture(capture);
    capture.close();

    for (const bool extended : {false, true}) {
        SCOPED_TRACE(extended ? "with -e" : "without -e");
        const std::string plain = extended ? "plainE" : "plain";
        expectQuietSuccess(tool.run(extended ? std::vector<std::string>{"-i", kCapture, "-o", plain, "-e"}
                                             : std::vector<std::string>{"-i", kCapture, "-o", plain}));
        expectQuietSuccess(analyseWithTable(extended));
        const std::vector<std::string> without = ResultFiles(tool.folder(), plain).fileNames();
        EXPECT_EQ(std::count(without.begin(), without.end(), plain + ".Flows.csv"), 0);
        std::vector<std::string> expected;
        for (const std::string& name : without) {
            expected.push_back(kPrefix + name.substr(plain.size()));
            EXPECT_EQ(contents(tool.path(expected.back())), contents(tool.path(name))) << name;
        }
        expected.push_back(std::string(kPrefix) + ".Flows.csv");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(results.fileNames(), expected);
        EXPECT_EQ(results.detail("Flows"), contents(fs::path(WIRETALLY_E2E_DATA) / "FlowTable.Flows.csv"));
    }
}

// The table as a spreadsheet or data frame would read it: Python's csv module, every row checked by
// FlowTableCheck.py (header, field count, numbers, times, duration, the flow text).
TEST_F(FlowTableTest, LoadsWithPythonsCsvModule) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is not installed";
    }
    synthesise(tools::synth::Shape::Realistic, 512 * 1024, 0.01);
    EXPECT_EQ(analyseWithTable(false).exitStatus, 0);
    const std::size_t flows = figure("NumberTCPFlows");
    ASSERT_GT(flows, 10U);

    // runWrapped puts the tool's path before the arguments: the script is $0, the tool $1, the table $2.
    const RunResult check = tool.runWrapped({"sh", "-c", R"(exec python3 "$0" "$2")",
                                             (fs::path(WIRETALLY_E2E_DATA) / "FlowTableCheck.py").string()},
                                            {results.detailPath("Flows").string()});

    EXPECT_EQ(check.exitStatus, 0) << check.standardError;
    EXPECT_EQ(check.standardOutput, std::to_string(flows) + " rows\n") << check.standardError;
}

TEST_F(FlowTableTest, AnEmptyCaptureGivesTheHeaderAlone) {
    newCapture().close();

    expectQuietSuccess(analyseWithTable(false));

    EXPECT_EQ(results.detail("Flows"), std::string(kHeader) + "\r\n");
}

TEST_F(FlowTableTest, HelpDescribesTheOption) {
    const std::string usage = tool.run({"--help"}).standardOutput;

    EXPECT_NE(usage.find("--flow-table"), std::string::npos) << usage;
    EXPECT_NE(usage.find("PREFIX.Flows.csv"), std::string::npos) << usage;
}

}  // namespace
}  // namespace korvo::e2e
