#include "e2e/FlowTest.h"

#include <algorithm>
#include <string>
#include <vector>

namespace korvo::e2e {

namespace {

constexpr std::uint32_t kMicrosecondsPerSecond = 1000000;

std::vector<std::string> expectedFileNames(const std::string& prefix,
                                           const std::vector<std::string>& figures) {
    std::vector<std::string> names = {prefix + ".Summary.txt"};
    for (const std::string& figure : figures) {
        names.push_back(prefix + "." + figure + ".csv");
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string detailOf(const std::map<std::string, std::string>& details, const std::string& figure) {
    const auto found = details.find(figure);
    return found == details.end() ? std::string() : found->second;
}

}  // namespace

CaptureTime FlowTest::at(std::uint32_t microseconds) {
    return {kMarch2008 + microseconds / kMicrosecondsPerSecond, microseconds % kMicrosecondsPerSecond};
}

tools::FrameBuilder FlowTest::segment(Endpoint from, Endpoint to, std::uint32_t sequenceNumber,
                                      std::uint16_t identification, std::uint8_t flags,
                                      std::uint32_t acknowledgementNumber) {
    tools::FrameBuilder builder;
    builder.ipv4(from.address, to.address)
        .ipIdentification(identification)
        .tcp(from.port, to.port, sequenceNumber, flags, acknowledgementNumber);
    return builder;
}

void FlowTest::expectResults(const ExpectedSummary& summary,
                             const std::map<std::string, std::string>& details) const {
    for (const auto& [figure, rows] : details) {
        EXPECT_NE(std::find(kDetailFigures.begin(), kDetailFigures.end(), figure), kDetailFigures.end())
            << "no detail file is named after " << figure;
    }
    const std::string expectedSummary = summary.text();
    {
        SCOPED_TRACE("with extended statistics");
        expectQuietSuccess(analyse(true));
        EXPECT_EQ(results.summary(), expectedSummary);
        for (const std::string& figure : kDetailFigures) {
            EXPECT_EQ(results.detail(figure), detailOf(details, figure)) << figure;
        }
        EXPECT_EQ(results.fileNames(), expectedFileNames(kPrefix, kDetailFigures));
    }
    {
        SCOPED_TRACE("without extended statistics");
        const std::string plainPrefix = "plain";
        const ResultFiles plain(tool.folder(), plainPrefix);
        expectQuietSuccess(tool.run({"-i", kCapture, "-o", plainPrefix}));
        EXPECT_EQ(plain.summary(), expectedSummary);
        EXPECT_EQ(plain.detail("NumberOfTruncatedPackets"), detailOf(details, "NumberOfTruncatedPackets"));
        EXPECT_EQ(plain.fileNames(), expectedFileNames(plainPrefix, {"NumberOfTruncatedPackets"}));
    }
}

}  // namespace korvo::e2e
