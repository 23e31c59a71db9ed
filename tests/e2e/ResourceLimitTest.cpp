// --threads and --max-memory: bad values are command-line errors; every thread count and memory limit gives
// the same files byte for byte, the flow table included; segments beyond the limit go to temporary files that
// are never left behind, and a temporary folder that cannot take them ends the run with the run-failure
// status.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "e2e/ToolTest.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

namespace fs = std::filesystem;

class ResourceLimitTest : public ToolTest {
protected:
    // A small synthetic capture of the given shape, with every kind of anomaly where the shape has any.
    void synthesise(tools::synth::Shape shape, std::uint64_t size) const {
        tools::synth::SynthOptions options;
        options.output = tool.path(kCapture).string();
        options.seed = 11;
        options.shape = shape;
        options.size = size;
        options.truncateShare = 0.01;
        options.mix.concurrency = 32;
        options.mix.maxTransfer = 64 * 1024;
        options.mix.anomalies = {.loss = 0.02, .reorder = 0.02, .duplicate = 0.02, .retransmit = 0.02};
        tools::synth::synthesise(options);
    }

    static std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Runs with `options` under `prefix` and expects every file to equal the one under the reference prefix.
    void expectSameFiles(const std::string& reference, const std::string& prefix,
                         const std::vector<std::string>& options, bool extended) const {
        std::vector<std::string> arguments = {"-i", kCapture, "-o", prefix};
        if (extended) {
            arguments.emplace_back("-e");
            arguments.emplace_back("--flow-table");
        }
        arguments.insert(arguments.end(), options.begin(), options.end());
        SCOPED_TRACE(prefix);
        expectQuietSuccess(tool.run(arguments));
        const std::vector<std::string> expected = ResultFiles(tool.folder(), reference).fileNames();
        ASSERT_EQ(ResultFiles(tool.folder(), prefix).fileNames().size(), expected.size());
        for (const std::string& name : expected) {
            const std::string own = prefix + name.substr(reference.size());
            EXPECT_EQ(contents(tool.path(own)), contents(tool.path(name))) << own;
        }
    }

    // Every thread count and memory limit against one thread with no limit, with and without -e.
    void expectSameResultsForEveryLimit() const {
        for (const bool extended : {false, true}) {
            const std::string reference = extended ? "referenceE" : "reference";
            expectQuietSuccess(tool.run(
                extended ? std::vector<std::string>{"-i", kCapture, "-o", reference, "--threads", "1", "-e",
                                                    "--flow-table"}
                         : std::vector<std::string>{"-i", kCapture, "-o", reference, "--threads", "1"}));
            // The summary and the truncated frames' list, plus every other detail file and the flow table
            // with -e.
            ASSERT_EQ(ResultFiles(tool.folder(), reference).fileNames().size(),
                      extended ? 2 + kDetailFigures.size() : 2);
            const std::string mark = extended ? "e" : "";
            expectSameFiles(reference, "twoThreads" + mark, {"--threads", "2"}, extended);
            expectSameFiles(reference, "sevenThreads" + mark, {"--threads", "7"}, extended);
            expectSameFiles(reference, "spillEverySegment" + mark, {"--threads", "1", "--max-memory", "1"},
                            extended);
            expectSameFiles(reference, "spillOften" + mark, {"--threads", "3", "--max-memory", "2K"},
                            extended);
            expectSameFiles(reference, "spillSeldom" + mark, {"--threads", "2", "--max-memory", "64K"},
                            extended);
        }
    }

    // The tool with TMPDIR set to `folder`.
    [[nodiscard]] RunResult runWithTemporaryFolder(const fs::path& folder,
                                                   const std::vector<std::string>& arguments) const {
        return tool.runWrapped({"env", "TMPDIR=" + folder.string()}, arguments);
    }
};

TEST_F(ResourceLimitTest, ConnectionsGiveTheSameFilesForEveryThreadCountAndMemoryLimit) {
    synthesise(tools::synth::Shape::Realistic, 1024 * 1024);
    expectSameResultsForEveryLimit();
}

TEST_F(ResourceLimitTest, ScansGiveTheSameFilesForEveryThreadCountAndMemoryLimit) {
    synthesise(tools::synth::Shape::RandomScan, 200 * 1024);
    expectSameResultsForEveryLimit();
    synthesise(tools::synth::Shape::Scan, 200 * 1024);
    expectSameResultsForEveryLimit();
}

// One flow's segments spread over many temporary runs come back into one flow, judged as in memory.
TEST_F(ResourceLimitTest, OneLargeFlowGivesTheSameFilesForEveryThreadCountAndMemoryLimit) {
    synthesise(tools::synth::Shape::Elephant, 1024 * 1024);
    expectSameResultsForEveryLimit();
    EXPECT_EQ(ResultFiles(tool.folder(), "referenceE").detail("NumberTCPFlows").value_or(""),
              "TCP 10.0.0.1:40000 -> 10.0.0.2:873\n");
}

// Flows that share a flow hash (the sum of addresses and ports) go out in order of first appearance, also
// when their segments come back from different temporary runs, and when there are too many of them to judge
// in memory and one is large enough to be judged from temporary files.
TEST_F(ResourceLimitTest, FlowsSharingAFlowHashKeepTheirOrderAcrossTemporaryRuns) {
    TestCapture capture = newCapture();
    // Ports p and 100 - p give one flow hash; the later-numbered flow appears first. The flow of port 50
    // sends on, every third segment late.
    std::uint32_t microseconds = 0;
    for (std::uint16_t round = 0; round < 3; ++round) {
        for (std::uint16_t port = 60; port > 40; --port) {
            capture.add({kMarch2008, microseconds++},
                        tools::FrameBuilder()
                            .ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2))
                            .tcp(port, static_cast<std::uint16_t>(100 - port), 1000U * round + port,
                                 tools::FrameBuilder::kTcpAck)
                            .build());
        }
    }
    for (std::uint32_t segment = 0; segment < 400; ++segment) {
        const std::uint32_t sent = segment % 3 == 1 ? segment + 1 : segment % 3 == 2 ? segment - 1 : segment;
        capture.add({kMarch2008, microseconds++},
                    tools::FrameBuilder()
                        .ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2))
                        .tcp(50, 50, 10000 + sent * 100, tools::FrameBuilder::kTcpAck)
                        .payload(100)
                        .build());
    }
    capture.close();
    expectSameResultsForEveryLimit();
    EXPECT_TRUE(ResultFiles(tool.folder(), "referenceE")
                    .detail("NumberTCPFlows")
                    .value_or("")
                    .starts_with("TCP 10.0.0.1:60 -> 10.0.0.2:40\nTCP 10.0.0.1:59 -> 10.0.0.2:41\n"));
}

TEST_F(ResourceLimitTest, TemporaryFilesAreNeverLeftBehind) {
    synthesise(tools::synth::Shape::RandomScan, 100 * 1024);
    const fs::path temporary = tool.path("tmp");
    fs::create_directory(temporary);

    expectQuietSuccess(
        runWithTemporaryFolder(temporary, {"-i", kCapture, "-o", kPrefix, "--max-memory", "1K"}));

    EXPECT_TRUE(fs::is_empty(temporary));
    EXPECT_TRUE(results.summary().has_value());
}

TEST_F(ResourceLimitTest, MissingTemporaryFolderEndsTheRunOnlyWhenTheLimitIsPassed) {
    synthesise(tools::synth::Shape::RandomScan, 100 * 1024);
    const fs::path missing = tool.path("missing");

    const RunResult spilling =
        runWithTemporaryFolder(missing, {"-i", kCapture, "-o", kPrefix, "--max-memory", "1K"});
    EXPECT_EQ(spilling.exitStatus, 254);
    EXPECT_EQ(spilling.standardOutput, "");
    EXPECT_EQ(spilling.standardError, "Cannot create a temporary file of flow segments in " +
                                          missing.string() +
                                          " (used beyond the memory limit; --max-memory raises it): No such "
                                          "file or directory\n");
    EXPECT_FALSE(results.summary().has_value());

    expectQuietSuccess(
        runWithTemporaryFolder(missing, {"-i", kCapture, "-o", kPrefix, "--max-memory", "1G"}));
}

TEST_F(ResourceLimitTest, FullTemporaryFolderEndsTheRunAndLeavesNothingBehind) {
    synthesise(tools::synth::Shape::RandomScan, 2 * 1024 * 1024);
    const fs::path temporary = tool.path("tmp");
    fs::create_directory(temporary);

    // A file size limit of 16 blocks (8 or 16 KiB) stands in for a full disk: with the signal ignored, a
    // write beyond it fails with EFBIG instead of ending the process. Each of the 64 shards writes about
    // 17 KB here.
    const RunResult result = tool.runWrapped(
        {"sh", "-c", R"(trap '' XFSZ; ulimit -f 16; exec env TMPDIR="$0" "$@")", temporary.string()},
        {"-i", kCapture, "-o", kPrefix, "--max-memory", "64K", "--threads", "2"});

    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_EQ(result.standardError, "Cannot write a temporary file of flow segments in " +
                                        temporary.string() +
                                        " (used beyond the memory limit; --max-memory raises it): File too "
                                        "large\n");
    EXPECT_TRUE(fs::is_empty(temporary));
    EXPECT_FALSE(results.summary().has_value());
}

class BadResourceOptionTest : public ToolTest,
                              public ::testing::WithParamInterface<std::pair<std::string, std::string>> {};

TEST_P(BadResourceOptionTest, IsACommandLineError) {
    newCapture().close();
    const auto& [option, value] = GetParam();

    const RunResult result = tool.run({"-i", kCapture, "-o", kPrefix, option, value});

    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.standardOutput, "");
    const std::string expected =
        option == "--threads" ? "--threads expects a whole number from 1 to 1024, found '" + value + "'\n"
                              : "--max-memory expects a size above zero such as 512M or 4G (K, M, G: binary "
                                "multiples), found '" +
                                    value + "'\n";
    EXPECT_EQ(result.standardError,
              "Error parsing command line \nUse --help to print usage syntax \n" + expected);
    EXPECT_TRUE(results.fileNames().empty());
}

INSTANTIATE_TEST_SUITE_P(Values, BadResourceOptionTest,
                         ::testing::Values(std::pair<std::string, std::string>{"--threads", "0"},
                                           std::pair<std::string, std::string>{"--threads", "-3"},
                                           std::pair<std::string, std::string>{"--threads", "two"},
                                           std::pair<std::string, std::string>{"--threads", "2x"},
                                           std::pair<std::string, std::string>{"--threads", "1025"},
                                           std::pair<std::string, std::string>{"--threads",
                                                                               "99999999999999999999"},
                                           std::pair<std::string, std::string>{"--max-memory", "0"},
                                           std::pair<std::string, std::string>{"--max-memory", "0M"},
                                           std::pair<std::string, std::string>{"--max-memory", "12X"},
                                           std::pair<std::string, std::string>{"--max-memory", "12MB"},
                                           std::pair<std::string, std::string>{"--max-memory", "-5M"},
                                           std::pair<std::string, std::string>{"--max-memory", "M"}));

TEST_F(ResourceLimitTest, MemoryLimitBeyondTheMachineIsACommandLineError) {
    newCapture().close();

    const RunResult result = tool.run({"-i", kCapture, "-o", kPrefix, "--max-memory", "999999999G"});

    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_TRUE(result.standardError.find("--max-memory 999999999G is more than this machine's ") !=
                std::string::npos)
        << result.standardError;
    EXPECT_TRUE(results.fileNames().empty());
}

TEST_F(ResourceLimitTest, HelpDescribesBothOptions) {
    const std::string usage = tool.run({"--help"}).standardOutput;

    EXPECT_NE(usage.find("--threads"), std::string::npos) << usage;
    EXPECT_NE(usage.find("--max-memory"), std::string::npos) << usage;
    EXPECT_NE(usage.find("$TMPDIR"), std::string::npos) << usage;
}

}  // namespace
}  // namespace korvo::e2e
