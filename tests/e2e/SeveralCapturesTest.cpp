// Several captures read as one: rotated pieces give the results of the capture they were cut from, captures
// taken side by side are merged in time order (equal times in the order named) and numbered across both,
// and captures of different link types, standard input named twice and a damaged record in one of them end
// the run as documented.

#include <algorithm>
#include <filesystem>
#include <string>

#include "e2e/SameResults.h"
#include "e2e/ToolTest.h"
#include "support/CaptureRecords.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

class SeveralCapturesTest : public ToolTest {
protected:
    void synthesise(const std::string& name, std::uint64_t seed) const {
        tools::synth::SynthOptions options;
        options.output = tool.path(name).string();
        options.seed = seed;
        options.size = 200 * 1024;
        options.truncateShare = 0.02;
        tools::synth::synthesise(options);
    }

    // The synthesised captures hold IPv6 frames, which the run notes as left out.
    static void expectSuccess(const RunResult& result) {
        EXPECT_EQ(result.exitStatus, 0) << result.standardOutput << result.standardError;
        EXPECT_EQ(result.standardOutput, "");
    }

    [[nodiscard]] static std::vector<std::uint8_t> segment(std::uint32_t sequence) {
        return tools::FrameBuilder()
            .ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2))
            .tcp(1000, 80, sequence)
            .payload(100)
            .build();
    }
};

TEST_F(SeveralCapturesTest, RotatedFilesGiveTheResultsOfTheCaptureTheyWereCutFrom) {
    synthesise(kCapture, 5);
    const CaptureRecords whole(tool.path(kCapture));
    const std::size_t count = whole.records().size();
    whole.writeRange(tool.path("ring1.pcap"), 0, count / 3);
    whole.writeRange(tool.path("ring2.pcap"), count / 3, 2 * count / 3);
    whole.writeRange(tool.path("ring3.pcap"), 2 * count / 3, count);
    expectSuccess(tool.run({"-i", kCapture, "-o", "whole", "-e"}));

    expectSuccess(
        tool.run({"-i", "ring1.pcap", "-i", "ring2.pcap", "-i", "ring3.pcap", "-o", kPrefix, "-e"}));

    expectSameResults(ResultFiles(tool.folder(), "whole"), results);
}

TEST_F(SeveralCapturesTest, CapturesTakenSideBySideAreMergedInTimeOrder) {
    synthesise("left.pcap", 21);
    synthesise("right.pcap", 22);
    const CaptureRecords left(tool.path("left.pcap"));
    const CaptureRecords right(tool.path("right.pcap"));
    std::vector<CaptureRecords::Record> merged;
    std::merge(left.records().begin(), left.records().end(), right.records().begin(), right.records().end(),
               std::back_inserter(merged), [](const auto& first, const auto& second) {
                   return std::pair(first.seconds, first.microseconds) <
                          std::pair(second.seconds, second.microseconds);
               });
    left.write(tool.path("expected.pcap"), merged);
    expectSuccess(tool.run({"-i", "expected.pcap", "-o", "merged", "-e"}));

    expectSuccess(tool.run({"-i", "left.pcap", "-i", "right.pcap", "-o", kPrefix, "-e"}));

    expectSameResults(ResultFiles(tool.folder(), "merged"), results);
}

TEST_F(SeveralCapturesTest, EqualTimesKeepTheOrderInWhichTheFilesWereNamed) {
    TestCapture(tool.path("cut.pcap")).addCut({kMarch2008, 7}, segment(1), 60).close();
    TestCapture(tool.path("whole.pcap")).add({kMarch2008, 7}, segment(101)).close();

    expectQuietSuccess(tool.run({"-i", "cut.pcap", "-i", "whole.pcap", "-o", "cutFirst"}));
    expectQuietSuccess(tool.run({"-i", "whole.pcap", "-i", "cut.pcap", "-o", "cutSecond"}));

    EXPECT_EQ(ResultFiles(tool.folder(), "cutFirst").detail("NumberOfTruncatedPackets"), "Packet Number,1\n");
    EXPECT_EQ(ResultFiles(tool.folder(), "cutSecond").detail("NumberOfTruncatedPackets"),
              "Packet Number,2\n");
    EXPECT_EQ(ResultFiles(tool.folder(), "cutSecond").summaryValue("TotalVolumeInB"), "308");
}

TEST_F(SeveralCapturesTest, DamagedRecordInOneCaptureEndsAllReadingWhereTheMergeComesToIt) {
    TestCapture even(tool.path("even.pcap"));
    for (std::uint32_t at = 0; at < 10; at += 2) {
        even.add({kMarch2008, at}, segment(at * 100));
    }
    even.close();
    TestCapture(tool.path("odd.pcap"))
        .add({kMarch2008, 1}, segment(100))
        .add({kMarch2008, 3}, segment(300))
        .add({kMarch2008, 5}, segment(500))
        .close();
    std::filesystem::resize_file(tool.path("odd.pcap"),
                                 std::filesystem::file_size(tool.path("odd.pcap")) - 10);

    const RunResult result = tool.run({"-i", "even.pcap", "-i", "odd.pcap", "-o", kPrefix});

    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_TRUE(result.standardOutput.starts_with(
        "PacketLoader::openInputFile() Error reading packet: odd.pcap: truncated dump file"))
        << result.standardOutput;
    // Frames at 0, 1, 2 and 3 microseconds; odd.pcap's next record is needed after the one at 3.
    EXPECT_EQ(result.standardError, "Reading stopped at a damaged record: the results cover frames 1 to 4\n");
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), "616");
}

TEST_F(SeveralCapturesTest, DifferentLinkTypesAreRefusedBeforeAnythingIsRead) {
    TestCapture(tool.path("ethernet.pcap")).add({kMarch2008, 0}, segment(1)).close();
    TestCapture(tool.path("cooked.pcap"), 113).add({kMarch2008, 0}, std::vector<std::uint8_t>(60, 0)).close();

    const RunResult result = tool.run({"-i", "ethernet.pcap", "-i", "cooked.pcap", "-o", kPrefix, "-e"});

    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(
        result.standardError,
        "The captures cannot be read as one: ethernet.pcap has link type EN10MB (1), cooked.pcap has link "
        "type LINUX_SLL (113)\n");
    EXPECT_TRUE(results.fileNames().empty());
}

TEST_F(SeveralCapturesTest, StandardInputWithOtherCapturesIsACommandLineError) {
    TestCapture(tool.path("ethernet.pcap")).add({kMarch2008, 0}, segment(1)).close();

    const RunResult result = tool.run({"-i", "ethernet.pcap", "-i", "-", "-o", kPrefix});

    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.standardError, "--inputFile - (standard input) cannot be read with other captures.\n");
    EXPECT_TRUE(results.fileNames().empty());
}

}  // namespace
}  // namespace korvo::e2e
