// Which result files a run writes and under which names, and how a run ends when one cannot be written.

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/MixedCapture.h"
#include "e2e/ToolTest.h"

namespace korvo::e2e {
namespace {

class ResultFilesTest : public ToolTest {
protected:
    // One TCP segment 10.0.0.1:1234 -> 10.0.0.2:80 of 54 bytes.
    void writeOneSegment() const {
        newCapture()
            .add({kMarch2008, 0}, tools::FrameBuilder()
                                      .ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2))
                                      .tcp(1234, 80, 1)
                                      .build())
            .close();
    }
};

std::vector<std::string> fileNamesOf(const std::string& prefix, const std::vector<std::string>& figures) {
    std::vector<std::string> names = {prefix + ".Summary.txt"};
    for (const std::string& figure : figures) {
        names.push_back(prefix + "." + figure + ".csv");
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(ResultFilesTest, WithoutExtendedOptionOnlyTheTruncatedFramesGetADetailFile) {
    MixedCapture::write(tool.path(kCapture));

    expectSuccess(analyse(false), MixedCapture::kCoverageNote);

    EXPECT_EQ(results.fileNames(), fileNamesOf(kPrefix, {"NumberOfTruncatedPackets"}));
}

TEST_F(ResultFilesTest, WithExtendedOptionElevenDetailFilesAreWritten) {
    MixedCapture::write(tool.path(kCapture));

    expectSuccess(analyse(true), MixedCapture::kCoverageNote);

    EXPECT_EQ(results.fileNames(), fileNamesOf(kPrefix, kDetailFigures));
}

TEST_F(ResultFilesTest, PrefixThatNamesAFolderIsACommandLineError) {
    writeOneSegment();
    std::filesystem::create_directory(tool.path("sub"));
    const std::string head = "Error parsing command line \nUse --help to print usage syntax \n";
    for (const auto& [prefix, message] :
         {std::pair<std::string, std::string>{"",
                                              "--outputPrefix is empty: write the start of the result files' "
                                              "names, e.g. -o results/run1\n"},
          {"sub/",
           "--outputPrefix \"sub/\" names a folder, not the start of the result files' names: write "
           "e.g. -o sub/run1\n"},
          {".",
           "--outputPrefix \".\" names a folder, not the start of the result files' names: write e.g. "
           "-o ./run1\n"}}) {
        SCOPED_TRACE(prefix);
        const RunResult result = tool.run({"-i", kCapture, "-o", prefix});

        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_EQ(result.standardError, head + message);
    }
    EXPECT_TRUE(ResultFiles(tool.folder(), "").fileNames().empty());
    EXPECT_TRUE(std::filesystem::is_empty(tool.path("sub")));

    expectQuietSuccess(tool.run({"-i", kCapture, "-o", "sub/run1"}));
    EXPECT_EQ(ResultFiles(tool.folder(), "sub/run1").summaryValue("TotalVolumeInB"), "54");
}

// A plain run after one with -e and --flow-table leaves no file of the earlier run beside its own summary;
// files that are not result files of the tool stay.
TEST_F(ResultFilesTest, EarlierRunIsReplacedWhole) {
    writeOneSegment();
    expectQuietSuccess(tool.run({"-i", kCapture, "-o", kPrefix, "-e", "--flow-table"}));
    ASSERT_EQ(results.fileNames().size(), 2 + kDetailFigures.size());
    std::ofstream(results.summaryPath()) << std::string(5000, '#');
    std::ofstream(tool.path(std::string(kPrefix) + ".notes.txt")) << "mine\n";
    std::ofstream(tool.path(std::string(kPrefix) + "2.Summary.txt")) << "another prefix\n";

    expectQuietSuccess(analyse(false));

    std::vector<std::string> expected = fileNamesOf(kPrefix, {"NumberOfTruncatedPackets"});
    expected.push_back(std::string(kPrefix) + ".notes.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(results.fileNames(), expected);
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), "54");
    EXPECT_EQ(results.summary()->find('#'), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(tool.path(std::string(kPrefix) + "2.Summary.txt")));
}

TEST_F(ResultFilesTest, PrefixInAMissingFolderEndsTheRun) {
    writeOneSegment();

    const RunResult result = tool.run({"-i", kCapture, "-o", "nowhere/out", "-e"});

    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError,
              "Error writing result file nowhere/out.Summary.txt: No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(tool.path("nowhere")));
}

// An unusable prefix is found before the capture is read: the capture here ends in a damaged record, whose
// message on standard output would show that it had been read.
class UnusablePrefixTest : public ResultFilesTest {
protected:
    void writeLongCaptureWithADamagedEnd() const {
        TestCapture capture = newCapture();
        const auto frame =
            tools::FrameBuilder().ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2)).tcp(1, 2, 3).build();
        for (std::uint32_t index = 0; index < 100000; ++index) {
            capture.add({kMarch2008, index}, frame);
        }
        capture.close();
        std::filesystem::resize_file(tool.path(kCapture),
                                     std::filesystem::file_size(tool.path(kCapture)) - 3);
    }

    void expectFailureBeforeReading(const std::string& prefix, const std::string& reason) const {
        const RunResult result = tool.run({"-i", kCapture, "-o", prefix, "-e"});

        EXPECT_EQ(result.exitStatus, 254);
        EXPECT_EQ(result.standardOutput, "");
        EXPECT_EQ(result.standardError,
                  "Error writing result file " + prefix + ".Summary.txt: " + reason + "\n");
    }
};

TEST_F(UnusablePrefixTest, MissingFolder) {
    writeLongCaptureWithADamagedEnd();
    expectFailureBeforeReading("nowhere/out", "No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(tool.path("nowhere")));
}

TEST_F(UnusablePrefixTest, FolderThatIsAFile) {
    writeLongCaptureWithADamagedEnd();
    std::ofstream(tool.path("plain")) << "a file, not a folder\n";
    expectFailureBeforeReading("plain/out", "Not a directory");
}

TEST_F(UnusablePrefixTest, ReadOnlyFolder) {
    writeLongCaptureWithADamagedEnd();
    if (::geteuid() == 0) {
        // File permissions do not stop the superuser; the kernel's own folders do.
        if (!std::filesystem::is_directory("/sys")) {
            GTEST_SKIP() << "no folder here that the superuser cannot write";
        }
        expectFailureBeforeReading("/sys/out", "Permission denied");
        return;
    }
    std::filesystem::create_directory(tool.path("locked"));
    std::filesystem::permissions(tool.path("locked"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    expectFailureBeforeReading("locked/out", "Permission denied");
    EXPECT_TRUE(std::filesystem::is_empty(tool.path("locked")));
}

// The disk fills up at a different point in each run, somewhere in the summary, the detail files or the
// flow table: every file under a result name is whole (as an unhindered run writes it) and no temporary
// file stays.
TEST_F(ResultFilesTest, FullDiskLeavesEveryResultFileWholeOrAbsent) {
    TestCapture capture = newCapture();
    for (std::uint32_t index = 0; index < 6000; ++index) {
        // Every frame is listed as truncated, and every one after the first as out of order.
        const auto frame = tools::FrameBuilder()
                               .ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2))
                               .tcp(1, 2, 100000 - 10 * index)
                               .payload(10)
                               .build();
        capture.addCut({kMarch2008, index}, frame, 50);
    }
    capture.close();
    expectQuietSuccess(tool.run({"-i", kCapture, "-o", "whole", "-e", "--flow-table"}));
    const ResultFiles whole(tool.folder(), "whole");
    std::uintmax_t largest = 0;
    for (const std::string& name : whole.fileNames()) {
        largest = std::max(largest, std::filesystem::file_size(tool.path(name)));
    }
    // The shell's file-size limit counts blocks of 512 bytes; every limit here stops the largest file.
    const std::uintmax_t largestBlocks = largest / 512;
    ASSERT_GE(largestBlocks, 8U);

    for (const std::uintmax_t blocks :
         {std::uintmax_t{0}, std::uintmax_t{1}, largestBlocks / 4, largestBlocks / 2, largestBlocks - 1}) {
        SCOPED_TRACE(std::to_string(blocks) + " blocks");
        for (const std::string& name : results.fileNames()) {
            std::filesystem::remove(tool.path(name));
        }
        const RunResult result = tool.runWrapped(
            {"sh", "-c", "trap '' XFSZ; ulimit -f " + std::to_string(blocks) + R"(; exec "$0" "$@")"},
            {"-i", kCapture, "-o", kPrefix, "-e", "--flow-table"});

        EXPECT_EQ(result.exitStatus, 254);
        EXPECT_TRUE(result.standardError.starts_with("Error writing result file out."))
            << result.standardError;
        EXPECT_TRUE(result.standardError.ends_with(": File too large\n")) << result.standardError;
        // The summary is placed last, once every detail file is.
        EXPECT_FALSE(results.summary().has_value());
        for (const std::string& figure : kDetailFigures) {
            const std::optional<std::string> detail = results.detail(figure);
            EXPECT_EQ(detail.value_or(*whole.detail(figure)), whole.detail(figure)) << figure;
        }
        EXPECT_EQ(results.detail("Flows").value_or(*whole.detail("Flows")), whole.detail("Flows"));
        for (const std::string& name : results.fileNames()) {
            EXPECT_EQ(name.find(".part-"), std::string::npos) << name;
        }
    }
}

TEST_F(ResultFilesTest, FailingWriteEndsTheRun) {
    writeOneSegment();

    // Files may be opened, but every byte written to one fails with "File too large".
    const RunResult result = tool.runWrapped({"sh", "-c", R"(trap "" XFSZ; ulimit -f 0; exec "$0" "$@")"},
                                             {"-i", kCapture, "-o", kPrefix});

    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "Error writing result file out.Summary.txt: File too large\n");
    EXPECT_TRUE(results.fileNames().empty());
}

// Each detail file is written right after its figure's line of the summary and placed when complete; here
// the fragments' detail file cannot be placed (a folder has its name), so the detail files before it stay and
// the unfinished summary is not placed at all.
TEST_F(ResultFilesTest, DetailFileThatCannotBeOpenedEndsTheRun) {
    writeOneSegment();
    std::filesystem::create_directory(results.detailPath("NumberIPFragments"));

    const RunResult result = analyse(true);

    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "Error writing result file out.NumberIPFragments.csv: Is a directory\n");
    EXPECT_FALSE(results.summary().has_value());
    std::vector<std::string> expected =
        fileNamesOf(kPrefix, {"NumberTCPFlows", "NumberTCPFlowDuplicates", "NumberTCPGapFlows",
                              "NumberTCPOutOfOrderFlows", "NumberSimplexFlows", "NumberJumboIPPackets",
                              "NumberIPFragments"});
    std::erase(expected, "out.Summary.txt");
    EXPECT_EQ(results.fileNames(), expected);
    EXPECT_TRUE(std::filesystem::is_directory(results.detailPath("NumberIPFragments")));
}

// A capture taken with a small snap length lists every frame as truncated: 400,000 rows (about 8 MiB) pass
// through the temporary file and arrive whole; where no temporary file can be made, the run says so.
class LongDetailListTest : public ResultFilesTest {
protected:
    static constexpr std::uint32_t kFrames = 400000;

    void writeCutFrames() const {
        TestCapture capture = newCapture();
        const std::vector<std::uint8_t> frame(14, 0);
        for (std::uint32_t index = 0; index < kFrames; ++index) {
            capture.addRecord({kMarch2008, index}, frame, 1514);
        }
        capture.close();
    }
};

TEST_F(LongDetailListTest, EveryRowArrives) {
    writeCutFrames();

    expectQuietSuccess(analyse(false));

    std::string expected;
    for (std::uint32_t packet = 1; packet <= kFrames; ++packet) {
        expected += "Packet Number," + std::to_string(packet) + "\n";
    }
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"), expected);
    EXPECT_EQ(results.summaryValue("NumberOfTruncatedPackets"), std::to_string(kFrames));
}

TEST_F(LongDetailListTest, TemporaryFileThatCannotBeMadeEndsTheRun) {
    writeCutFrames();

    const RunResult result =
        tool.runWrapped({"env", "TMPDIR=/nonexistent-wiretally-folder"}, {"-i", kCapture, "-o", kPrefix});

    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(
        result.standardError,
        "Cannot create the temporary file of detail rows in /nonexistent-wiretally-folder ($TMPDIR, else "
        "/tmp): No such file or directory\n");
    EXPECT_FALSE(results.summary().has_value());
}

}  // namespace
}  // namespace korvo::e2e
