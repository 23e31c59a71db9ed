// Captures that cannot be opened: the loader's message, "Unknown exception", status -2 and no result files.
// Captures that cannot be read to their end: the loader's message, the results of the frames before the
// damage with a line saying which frames they cover, and status -2.

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "e2e/ToolTest.h"

namespace korvo::e2e {
namespace {

class CaptureInputTest : public ToolTest {
protected:
    // The loader's two lines on standard output: its own text, then the capture library's reason.
    void expectOpenFailure(const std::string& inputName) const {
        const RunResult result = tool.run({"-i", inputName, "-o", kPrefix, "-e"});

        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitStatus, 254);
        EXPECT_EQ(result.standardError, "Unknown exception\n");
        const std::string head = "PacketLoader::openInputFile() Error opening filename " + inputName +
                                 " as libpcap formatted dump file.\n";
        const std::string& message = result.standardOutput;
        ASSERT_TRUE(message.starts_with(head)) << message;
        const std::string libraryText = message.substr(head.size());
        EXPECT_GT(libraryText.size(), 1U) << message;
        EXPECT_TRUE(libraryText.ends_with("\n")) << message;
        EXPECT_EQ(libraryText.find('\n'), libraryText.size() - 1) << message;
        EXPECT_TRUE(results.fileNames().empty());
    }

    // The loader's one line on standard output, with the capture library's reason after its own text; the
    // results of the first frame.
    void expectReadFailure() const {
        const RunResult result = analyse(true);

        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitStatus, 254);
        EXPECT_EQ(result.standardError,
                  "Reading stopped at a damaged record: the results cover frames 1 to 1\n");
        const std::string head = "PacketLoader::openInputFile() Error reading packet: ";
        const std::string& message = result.standardOutput;
        ASSERT_TRUE(message.starts_with(head)) << message;
        const std::string libraryText = message.substr(head.size());
        EXPECT_GT(libraryText.size(), 1U) << message;
        EXPECT_EQ(libraryText.find('\n'), libraryText.size() - 1) << message;
        EXPECT_EQ(results.fileNames().size(), kDetailFigures.size() + 1);
        EXPECT_EQ(results.summaryValue("TotalVolumeInB"), "54");
        EXPECT_EQ(results.summaryValue("NumberTCPFlows"), "1");
    }

    // Two complete frames; the file is then cut `missingBytes` short of its end.
    void writeCaptureCutShort(std::uintmax_t missingBytes) const {
        const auto frame =
            tools::FrameBuilder().ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2)).tcp(1, 2, 3).build();
        newCapture().add({kMarch2008, 0}, frame).add({kMarch2008, 1}, frame).close();
        const auto path = tool.path(kCapture);
        std::filesystem::resize_file(path, std::filesystem::file_size(path) - missingBytes);
    }
};

TEST_F(CaptureInputTest, MissingCapture) {
    expectOpenFailure("missing.pcap");
}

TEST_F(CaptureInputTest, MissingCaptureInAMissingFolder) {
    expectOpenFailure("nowhere/missing.pcap");
}

TEST_F(CaptureInputTest, UnreadableCapture) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "file permissions do not stop the superuser";
    }
    newCapture().close();
    std::filesystem::permissions(tool.path(kCapture), std::filesystem::perms::none);
    expectOpenFailure(kCapture);
}

TEST_F(CaptureInputTest, CaptureBehindALoopOfLinks) {
    std::filesystem::create_symlink("loop-b.pcap", tool.path("loop-a.pcap"));
    std::filesystem::create_symlink("loop-a.pcap", tool.path("loop-b.pcap"));
    expectOpenFailure("loop-a.pcap");
}

TEST_F(CaptureInputTest, FolderAsCapture) {
    std::filesystem::create_directory(tool.path("folder.pcap"));
    expectOpenFailure("folder.pcap");
}

TEST_F(CaptureInputTest, TextFileAsCapture) {
    std::ofstream(tool.path("notes.txt")) << "These are notes, not a capture of network traffic.\n";
    expectOpenFailure("notes.txt");
}

TEST_F(CaptureInputTest, EmptyFileAsCapture) {
    std::ofstream{tool.path("empty.pcap")};
    expectOpenFailure("empty.pcap");
}

TEST_F(CaptureInputTest, CaptureCutInTheMiddleOfAFrame) {
    writeCaptureCutShort(10);
    expectReadFailure();
}

TEST_F(CaptureInputTest, CaptureCutInTheMiddleOfARecordHeader) {
    // Each frame of 54 bytes follows a 16-byte record header: 62 bytes short leaves 8 of the second header.
    writeCaptureCutShort(62);
    expectReadFailure();
}

}  // namespace
}  // namespace korvo::e2e
