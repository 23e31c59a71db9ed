// A run split into map, reduce and finish steps, called by hand: the files of finish are those of one run
// over all the captures, byte for byte, also where a damaged record ends the reading in the middle group; a
// work folder that lacks a part, or whose groups were mapped with other options, ends the step with a message
// that names what to do, and no result file.

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/ToolTest.h"
#include "support/CaptureRecords.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

constexpr std::size_t kPieces = 7;
constexpr std::size_t kShards = 64;
// The pieces of each group: a ring buffer's files, cut into three consecutive groups.
const std::vector<std::vector<std::size_t>> kGroups = {{0, 1}, {2, 3, 4}, {5, 6}};
const std::vector<std::string> kAnalysis = {"--all", "-e"};
const std::vector<std::string> kResources = {"--threads", "2", "--max-memory", "64M"};

class SplitRunTest : public ToolTest {
protected:
    // A capture with IPv6, tunnels, jumbo and cut frames and every anomaly, cut into kPieces rotated files.
    void SetUp() override {
        tools::synth::SynthOptions options;
        options.output = tool.path("whole.pcap").string();
        options.seed = 11;
        options.size = 600 * 1024;
        options.truncateShare = 0.01;
        options.mix.concurrency = 16;
        options.mix.ipv6Share = 0.3;
        options.mix.jumboShare = 0.05;
        options.mix.otherShare = 0.05;
        options.mix.maxTransfer = 32 * 1024;
        options.mix.anomalies = {.loss = 0.02, .reorder = 0.02, .duplicate = 0.02, .retransmit = 0.02};
        options.tunnels = {tools::Encapsulator::Kind::Vxlan, tools::Encapsulator::Kind::Gre};
        tools::synth::synthesise(options);
        const CaptureRecords whole(tool.path("whole.pcap"));
        const std::size_t records = whole.records().size();
        for (std::size_t piece = 0; piece < kPieces; ++piece) {
            whole.writeRange(tool.path(pieceName(piece)), records * piece / kPieces,
                             records * (piece + 1) / kPieces);
        }
    }

    static std::string pieceName(std::size_t piece) { return "piece" + std::to_string(piece) + ".pcap"; }

    static std::vector<std::string> with(std::vector<std::string> arguments,
                                         const std::vector<std::string>& more) {
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }

    // One run over every piece.
    [[nodiscard]] RunResult runWhole(const std::string& prefix) const {
        std::vector<std::string> arguments = {"-o", prefix, "--json", "--report"};
        for (std::size_t piece = 0; piece < kPieces; ++piece) {
            arguments.insert(arguments.end(), {"-i", pieceName(piece)});
        }
        return tool.run(with(with(arguments, kAnalysis), kResources));
    }

    [[nodiscard]] RunResult map(const std::string& work, std::size_t group,
                                const std::vector<std::string>& analysis = kAnalysis) const {
        std::vector<std::string> arguments = {"map", "--work", work, "--group", std::to_string(group)};
        for (const std::size_t piece : kGroups[group]) {
            arguments.insert(arguments.end(), {"-i", pieceName(piece)});
        }
        return tool.run(with(with(arguments, analysis), kResources));
    }

    [[nodiscard]] RunResult finish(const std::string& work, const std::string& prefix) const {
        return tool.run(with({"finish", "--work", work, "-o", prefix, "--json", "--report"}, kResources));
    }

    // Every step, in order; the status of finish.
    [[nodiscard]] RunResult runSteps(const std::string& work, const std::string& prefix) const {
        std::filesystem::create_directory(tool.path(work));
        for (std::size_t group = 0; group < kGroups.size(); ++group) {
            const RunResult mapped = map(work, group);
            EXPECT_EQ(mapped.exitStatus, 0) << mapped.standardError;
        }
        for (std::size_t shard = 0; shard < kShards; ++shard) {
            const RunResult reduced =
                tool.run(with({"reduce", "--work", work, "--shard", std::to_string(shard)}, kResources));
            EXPECT_EQ(reduced.exitStatus, 0) << reduced.standardError;
        }
        return finish(work, prefix);
    }

    // Damages the record of piece `piece` that `pick` picks (its captured length made larger than any frame),
    // and expects one run and the steps to end alike, with the same files.
    template <typename Pick>
    void expectDamageToEndBothAlike(std::size_t piece, Pick pick) {
        CaptureRecords capture(tool.path(pieceName(piece)));
        std::vector<CaptureRecords::Record> records = capture.records();
        CaptureRecords::Record* damaged = pick(records);
        damaged->bytes[8] = '\xff';
        damaged->bytes[11] = '\x7f';
        capture.write(tool.path(pieceName(piece)), records);

        const RunResult whole = runWhole("one");
        ASSERT_EQ(whole.exitStatus, 254) << whole.standardError;
        const RunResult finished = runSteps("work", "split");
        EXPECT_EQ(finished.exitStatus, 254) << finished.standardError;
        EXPECT_EQ(finished.standardError, whole.standardError);
        expectSameFiles("one", "split");
    }

    void expectSameFiles(const std::string& expected, const std::string& actual) const {
        const std::vector<std::string> names = ResultFiles(tool.folder(), expected).fileNames();
        std::vector<std::string> actualNames = ResultFiles(tool.folder(), actual).fileNames();
        ASSERT_EQ(names.size(), actualNames.size());
        EXPECT_EQ(names.size(), 22U) << "every result file of --all -e --json --report";
        for (const std::string& name : names) {
            const std::string twin = actual + name.substr(expected.size());
            EXPECT_EQ(fileBytes(tool.path(name)), fileBytes(tool.path(twin))) << twin;
        }
    }
};

TEST_F(SplitRunTest, StepsGiveTheFilesOfOneRun) {
    const RunResult whole = runWhole("one");
    ASSERT_EQ(whole.exitStatus, 0) << whole.standardError;
    const RunResult finished = runSteps("work", "split");
    ASSERT_EQ(finished.exitStatus, 0) << finished.standardError;
    EXPECT_EQ(finished.standardError, whole.standardError);
    expectSameFiles("one", "split");
}

TEST_F(SplitRunTest, ADamagedRecordEndsTheReadingThereAsInOneRun) {
    // A record in the middle group's second piece claims more bytes than any frame holds.
    expectDamageToEndBothAlike(
        3, [](std::vector<CaptureRecords::Record>& records) { return &records[records.size() / 2]; });
}

TEST_F(SplitRunTest, ADamagedFirstRecordEndsTheReadingBeforeAnyFrameAsInOneRun) {
    // One run reads the first record of every capture before it takes a frame.
    expectDamageToEndBothAlike(5,
                               [](std::vector<CaptureRecords::Record>& records) { return &records.front(); });
}

TEST_F(SplitRunTest, AnIncompleteOrMixedWorkFolderIsRefusedByName) {
    std::filesystem::create_directory(tool.path("work"));
    EXPECT_EQ(map("work", 0).exitStatus, 0);
    EXPECT_EQ(map("work", 2).exitStatus, 0);
    const RunResult gap = tool.run({"reduce", "--work", "work", "--shard", "0"});
    EXPECT_EQ(gap.exitStatus, 254);
    EXPECT_NE(gap.standardError.find("lacks map-1: group 1 has not been mapped"), std::string::npos)
        << gap.standardError;

    EXPECT_EQ(map("work", 1, {"-e"}).exitStatus, 0);
    const RunResult mixed = tool.run({"reduce", "--work", "work", "--shard", "0"});
    EXPECT_EQ(mixed.exitStatus, 254);
    EXPECT_NE(mixed.standardError.find("work/map-1 was mapped with other analysis options"),
              std::string::npos)
        << mixed.standardError;

    // A map run again (a retried task) keeps the part already there.
    EXPECT_EQ(map("work", 1).exitStatus, 0);
    EXPECT_EQ(map("work", 1).exitStatus, 0);
    ASSERT_EQ(tool.run({"reduce", "--work", "work", "--shard", "0"}).exitStatus, 0);
    const RunResult unreduced = finish("work", "none");
    EXPECT_EQ(unreduced.exitStatus, 254);
    EXPECT_NE(unreduced.standardError.find("lacks work/reduce-1: shard 1 has not been reduced"),
              std::string::npos)
        << unreduced.standardError;
    // Group 1 mapped again over other captures: the shard reduced before no longer fits.
    ASSERT_EQ(
        tool.run(with({"map", "--work", "work", "--group", "1", "-i", pieceName(2)}, kAnalysis)).exitStatus,
        0);
    const RunResult stale = finish("work", "none");
    EXPECT_EQ(stale.exitStatus, 254);
    EXPECT_NE(stale.standardError.find("work/reduce-0 was reduced from other groups"), std::string::npos)
        << stale.standardError;
    const RunResult missing = finish("missing", "none");
    EXPECT_EQ(missing.exitStatus, 254);
    EXPECT_NE(missing.standardError.find("The work folder missing cannot be used"), std::string::npos)
        << missing.standardError;
    EXPECT_TRUE(ResultFiles(tool.folder(), "none").fileNames().empty());
}

}  // namespace
}  // namespace korvo::e2e
