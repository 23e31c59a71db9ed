// How each connection went: one written capture with a flow for every state and for every input whose
// outcome must be defined, against a reviewed baseline of every result file with --connections; and the same
// files on more threads and with the segments spilled to disk.
//
// The baseline is tests/e2e/data/Connections.baseline. After a reviewed change, rewrite it with
//   WIRETALLY_UPDATE_BASELINES=1 ctest --test-dir build -R ConnectionTest
// and check the difference with git diff before committing it.

#include <string>
#include <vector>

#include "e2e/Baseline.h"
#include "e2e/ConnectionStates.h"
#include "e2e/ToolTest.h"
#include "support/CaptureRecords.h"

namespace korvo::e2e {
namespace {

const std::vector<std::string> kConnectionFigures = {"NumberTCPRetransmissions", "NumberTCPRefusedFlows",
                                                     "NumberTCPUnansweredFlows", "NumberTCPResetFlows",
                                                     "NumberTCPZeroWindowFlows", "NumberTCPClosedFlows"};

class ConnectionTest : public ToolTest {
protected:
    void SetUp() override {
        TestCapture capture = newCapture();
        ConnectionStates(capture).writeAll();
        capture.close();
    }

    // Every file of a run with `extra` options, one after the other.
    std::string everyFile(std::vector<std::string> extra) {
        std::vector<std::string> arguments = {"--connections",
                                              "--retransmissions",
                                              "--ipv6",
                                              "--json",
                                              "-e",
                                              "--flow-table",
                                              "-i",
                                              kCapture,
                                              "-o",
                                              kPrefix};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const RunResult result = tool.run(arguments);
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
        std::string all = allResults(results);
        for (const std::string& figure : kConnectionFigures) {
            all += "== " + figure + ".csv\n" + results.detail(figure).value_or("(missing)\n");
        }
        all += "== standard error\n" + result.standardError;
        return all + "== Summary.json figures\n" + jsonSection(tool.path("out.Summary.json"), "figures");
    }
};

TEST_F(ConnectionTest, EveryStateAndOddInputAsTheBaselineHasIt) {
    expectMatchesBaseline(everyFile({"--threads", "1"}), "Connections.baseline");
}

// A zero window ends with its connection: the report's longest stall of flow 1127 is the 1 ms until the
// client's RST, not the two seconds until the next connection on the same ports.
TEST_F(ConnectionTest, AStallEndsWithItsConnection) {
    const RunResult result = tool.run({"--connections", "--report", "-i", kCapture, "-o", kPrefix});
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
    const std::string page = fileBytes(tool.path("out.Report.html"));
    const std::size_t table = page.find("id=\"top-stalls\"");
    ASSERT_NE(table, std::string::npos);
    const std::size_t flow = page.find(":1127 -&gt;", table);
    ASSERT_NE(flow, std::string::npos);
    const std::string row = page.substr(flow, page.find("</tr>", flow) - flow);
    EXPECT_NE(
        row.find("<td>S1</td><td class=\"n\" data-value=\"1\">1</td><td class=\"n\" data-value=\"1\">1</td>"
                 "<td class=\"n\" data-value=\"1.000\">1.000</td>"),
        std::string::npos)
        << row;
}

TEST_F(ConnectionTest, ThreadsAndTemporaryFilesChangeNothing) {
    const std::string one = everyFile({"--threads", "1"});
    EXPECT_EQ(everyFile({"--threads", "2"}), one);
    EXPECT_EQ(everyFile({"--threads", "2", "--max-memory", "2K"}), one);
}

}  // namespace
}  // namespace korvo::e2e
