// Captures compressed with gzip, zstd, xz or bzip2, from a file and from standard input, give the results of
// the plain capture byte for byte; one cut short gives the results of the frames before the cut and the
// damaged ending.

#include <string>

#include "e2e/SameResults.h"
#include "e2e/ToolTest.h"
#include "support/CaptureRecords.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

struct Compression {
    const char* name;
    std::string (*compress)(const std::string&);
};

class CompressedCaptureTest : public ToolTest, public ::testing::WithParamInterface<Compression> {
protected:
    void SetUp() override {
        tools::synth::SynthOptions options;
        options.output = tool.path(kCapture).string();
        options.seed = 11;
        options.size = 300 * 1024;
        options.truncateShare = 0.02;
        tools::synth::synthesise(options);
        writeFileBytes(tool.path(kCompressed), GetParam().compress(fileBytes(tool.path(kCapture))));
    }

    // The tool reading `input` from the file named, or from its standard input.
    [[nodiscard]] RunResult runOn(const std::string& input, const std::string& prefix,
                                  bool fromStandardInput) const {
        if (fromStandardInput) {
            return tool.runWrapped({"sh", "-c", "exec \"$0\" \"$@\" < " + input},
                                   {"-i", "-", "-o", prefix, "-e"});
        }
        return tool.run({"-i", input, "-o", prefix, "-e"});
    }

    // The run reported a damaged ending, and its results (under "damaged") are those of a plain capture of
    // the frames it says it covers. Returns how many frames that is.
    std::size_t expectResultsOfTheFramesCovered(const RunResult& result) const {
        EXPECT_EQ(result.exitStatus, 254);
        const std::string lead = "Reading stopped at a damaged record: the results cover frames 1 to ";
        const std::size_t leadAt = result.standardError.find(lead);
        if (leadAt == std::string::npos) {
            ADD_FAILURE() << result.standardError;
            return 0;
        }
        const std::size_t framesCovered = std::stoul(result.standardError.substr(leadAt + lead.size()));
        const CaptureRecords records(tool.path(kCapture));
        EXPECT_GT(framesCovered, 0U);
        EXPECT_LE(framesCovered, records.records().size());
        records.writeRange(tool.path("firstFrames.pcap"), 0, framesCovered);
        EXPECT_EQ(tool.run({"-i", "firstFrames.pcap", "-o", "head", "-e"}).exitStatus, 0);
        expectSameResults(ResultFiles(tool.folder(), "head"), ResultFiles(tool.folder(), "damaged"));
        return framesCovered;
    }

    // Cuts the compressed capture to half its size: the run covers exactly the frames that could be
    // decompressed, and not all of them.
    void expectCutShortEnding(bool fromStandardInput) const {
        const std::string compressed = fileBytes(tool.path(kCompressed));
        writeFileBytes(tool.path("cut"), compressed.substr(0, compressed.size() / 2));

        const RunResult result = runOn("cut", "damaged", fromStandardInput);

        EXPECT_EQ(result.standardOutput, "PacketLoader::openInputFile() Error reading packet: " +
                                             std::string(GetParam().name) + " stream cut short after " +
                                             std::to_string(compressed.size() / 2) + " compressed bytes\n");
        EXPECT_LT(expectResultsOfTheFramesCovered(result),
                  CaptureRecords(tool.path(kCapture)).records().size());
    }

    static constexpr const char* kCompressed = "in.pcap.z";
};

TEST_P(CompressedCaptureTest, FileGivesTheResultsOfThePlainCapture) {
    ASSERT_EQ(tool.run({"-i", kCapture, "-o", "plain", "-e"}).exitStatus, 0);
    const RunResult result = runOn(kCompressed, kPrefix, false);
    EXPECT_EQ(result.exitStatus, 0) << result.standardOutput << result.standardError;
    EXPECT_EQ(result.standardOutput, "");
    expectSameResults(ResultFiles(tool.folder(), "plain"), results);
}

TEST_P(CompressedCaptureTest, StandardInputGivesTheResultsOfThePlainCapture) {
    ASSERT_EQ(tool.run({"-i", kCapture, "-o", "plain", "-e"}).exitStatus, 0);
    const RunResult result = runOn(kCompressed, kPrefix, true);
    EXPECT_EQ(result.exitStatus, 0) << result.standardOutput << result.standardError;
    expectSameResults(ResultFiles(tool.folder(), "plain"), results);
}

TEST_P(CompressedCaptureTest, FileCutShortEndsLikeADamagedCapture) {
    expectCutShortEnding(false);
}

TEST_P(CompressedCaptureTest, StandardInputCutShortEndsLikeADamagedCapture) {
    expectCutShortEnding(true);
}

TEST_P(CompressedCaptureTest, FailedIntegrityCheckIsReportedWithTheDecompressorsReason) {
    // The last bytes are the uncompressed length of a gzip member, the checksum of a zstd frame, the footer
    // of an xz stream and the checksum of a bzip2 stream.
    std::string compressed = fileBytes(tool.path(kCompressed));
    compressed.back() = static_cast<char>(~compressed.back());
    writeFileBytes(tool.path(kCompressed), compressed);

    const RunResult result = runOn(kCompressed, "damaged", false);

    EXPECT_TRUE(result.standardOutput.starts_with("PacketLoader::openInputFile() Error reading packet: " +
                                                  std::string(GetParam().name) + " stream damaged after "))
        << result.standardOutput;
    expectResultsOfTheFramesCovered(result);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CompressedCaptureTest,
    ::testing::Values(Compression{"gzip", &gzipCompressed}, Compression{"zstd", &zstdCompressed},
                      Compression{"xz", &xzCompressed}, Compression{"bzip2", &bzip2Compressed}),
    [](const ::testing::TestParamInfo<Compression>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace korvo::e2e
