// Record time stamps at and beyond the edges of their range, through the built tool: the capture time is
// printed or the run fails as documented, never a crash or an arithmetic overflow.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/PcapngImage.h"
#include "support/ResultFiles.h"
#include "support/TestCapture.h"
#include "support/ToolRun.h"
#include "tools/FrameBuilder.h"

namespace korvo::robustness {
namespace {

constexpr const char* kCapture = "in.pcap";
constexpr const char* kPrefix = "out";

// An IP packet of 2000 bytes: listed with its capture time among the jumbo packets.
std::vector<std::uint8_t> jumboFrame() {
    return tools::FrameBuilder().ipv4(0x0A000001, 0x0A000002).tcp(1, 2, 3).payload(1960).build();
}

std::string jumboRow(int packet, const std::string& time) {
    return "Packet Number," + std::to_string(packet) + ",Capture Time," + time + ",IP Packet Length,2000\n";
}

class TimestampTest : public ::testing::Test {
protected:
    [[nodiscard]] e2e::RunResult analyse() const { return tool.run({"-i", kCapture, "-o", kPrefix, "-e"}); }

    e2e::ToolRun tool{WIRETALLY_BINARY};
    e2e::ResultFiles results{tool.folder(), kPrefix};
};

// The file format stores both fields unsigned; the capture library may hand them on as signed 32-bit
// numbers, which turns 0xFFFFFFFF into -1. Either reading is accepted, but the whole output must follow one.
TEST_F(TimestampTest, ClassicTimeStampsAtTheEdgesOfTheirFields) {
    const auto frame = jumboFrame();
    e2e::TestCapture(tool.path(kCapture))
        .add({0, 0}, frame)
        .add({5, 1'000'000}, frame)
        .add({0xFFFFFFFFU, 0}, frame)
        .add({5, 0xFFFFFFFFU}, frame)
        .close();

    const e2e::RunResult result = analyse();

    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardError, "");
    const std::string start = jumboRow(1, "1970-Jan-01 00:00:00") + jumboRow(2, "1970-Jan-01 00:00:06");
    const std::string asSigned =
        start + jumboRow(3, "1969-Dec-31 23:59:59") + jumboRow(4, "1970-Jan-01 00:00:04.999999");
    const std::string asUnsigned =
        start + jumboRow(3, "2106-Feb-07 06:28:15") + jumboRow(4, "1970-Jan-01 01:11:39.967295");
    const std::optional<std::string> rows = results.detail("NumberJumboIPPackets");
    ASSERT_TRUE(rows == asSigned || rows == asUnsigned) << rows.value_or("no jumbo packet list");
    // Seconds and microseconds add with their signs (5 s and -1 us is 4.999999 s): from -1 s to 6 s, or
    // from 0 to 2^32 - 1 s.
    EXPECT_EQ(results.summaryValue("CaptureDuration"), rows == asSigned ? "00:00:07" : "1193046:28:15");
}

// A time stamp out of range in the middle ends the reading there: the results cover the frames before it,
// and the damaged record counts nowhere, not even as truncated although it was captured short.
TEST_F(TimestampTest, TimeStampOutOfRangeInTheMiddleEndsTheReadingThere) {
    constexpr std::uint64_t kMarch2008 = 1204726029;
    constexpr std::uint64_t kYear10000 = 253402300800;
    const auto frame = jumboFrame();
    const auto wire = static_cast<std::uint32_t>(frame.size());
    e2e::PcapngImage image;
    image.interface(0)
        .packet(kMarch2008, frame, wire)
        .packet(kMarch2008 + 1, frame, wire)
        .packet(kYear10000, std::span(frame).first(60), wire)
        .packet(kMarch2008 + 2, frame, wire);
    std::ofstream(tool.path(kCapture), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.bytes().data()),
               static_cast<std::streamsize>(image.bytes().size()));

    const e2e::RunResult result = analyse();

    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_EQ(result.standardError, "Reading stopped at a damaged record: the results cover frames 1 to 2\n");
    EXPECT_EQ(
        result.standardOutput,
        "PacketLoader::openInputFile() Error reading packet: frame 3 has a timestamp of 253402300800 s and "
        "0 us from 1970, outside the years 1400 to 9999\n");
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), std::to_string(2 * frame.size()));
    EXPECT_EQ(results.summaryValue("CaptureDuration"), "00:00:01");
    EXPECT_EQ(results.summaryValue("NumberOfTruncatedPackets"), "0");
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"), "");
    EXPECT_EQ(results.detail("NumberJumboIPPackets"),
              jumboRow(1, "2008-Mar-05 14:07:09") + jumboRow(2, "2008-Mar-05 14:07:10"));
}

struct BlockFormatCase {
    const char* name;
    // The time stamp options of the interface of the second packet.
    std::optional<std::uint8_t> resolution;
    std::optional<std::int64_t> offsetSeconds;
    std::uint64_t timestamp;
    // The true span from the first packet, at 1970-01-01 00:00:00 on a plain interface, to the second, when
    // the capture library delivers the second's time unchanged.
    std::optional<std::string> span;
};

// Names the case in the test's output rather than dumping its bytes.
void PrintTo(const BlockFormatCase& c, std::ostream* out) {
    *out << c.name;
}

class BlockFormatTimestampTest : public TimestampTest,
                                 public ::testing::WithParamInterface<BlockFormatCase> {};

// The block format's 64-bit time stamps, scaled by the interface's resolution and shifted by its offset,
// reach hundreds of millions of years past any calendar the tool keeps: the run either reports the true span
// or fails with the loader's message, and never overflows on the way.
TEST_P(BlockFormatTimestampTest, TimeStampBeyondTheDateRangeIsReportedTrulyOrRefused) {
    const BlockFormatCase& c = GetParam();
    const auto frame = jumboFrame();
    const auto wire = static_cast<std::uint32_t>(frame.size());
    e2e::PcapngImage image;
    image.interface()
        .interface(c.resolution, c.offsetSeconds)
        .packet(0, frame, wire, 0)
        .packet(c.timestamp, frame, wire, 1);
    std::ofstream(tool.path(kCapture), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.bytes().data()),
               static_cast<std::streamsize>(image.bytes().size()));

    const e2e::RunResult result = analyse();

    ASSERT_FALSE(result.timedOut);
    if (result.exitStatus == 254) {
        // The first frame was taken; the second ends the reading.
        EXPECT_EQ(result.standardError,
                  "Reading stopped at a damaged record: the results cover frames 1 to 1\n");
        EXPECT_TRUE(result.standardOutput.starts_with("PacketLoader::openInputFile() Error reading packet: "))
            << result.standardOutput;
        EXPECT_EQ(results.summaryValue("CaptureDuration"), "00:00:00");
        return;
    }
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardError, "");
    const std::optional<std::string> span = results.summaryValue("CaptureDuration");
    ASSERT_TRUE(span.has_value());
    EXPECT_FALSE(span->starts_with("-")) << *span;
    if (c.span) {
        EXPECT_EQ(span, c.span);
    }
}

constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
constexpr std::int64_t kEarliestOffset = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kLatestOffset = std::numeric_limits<std::int64_t>::max();
// The first second of the year 10000.
constexpr std::uint64_t kYear10000 = 253402300800;

// Resolution 0 counts whole seconds, 0x80 binary fractions of 2^-0 seconds: 2^64 - 1 of those does not fit
// the library's own signed seconds, so what arrives is the library's doing and only the status is checked.
INSTANTIATE_TEST_SUITE_P(
    Extremes, BlockFormatTimestampTest,
    ::testing::Values(
        BlockFormatCase{"LargestMicroseconds", std::nullopt, std::nullopt, kLargest,
                        "5124095576:01:49.551615"},
        BlockFormatCase{"LargestSeconds", 0, std::nullopt, kLargest, std::nullopt},
        BlockFormatCase{"LargestBinaryFraction", 0x80, std::nullopt, kLargest, std::nullopt},
        BlockFormatCase{"SecondsWithTheTopBitSet", 0, std::nullopt, std::uint64_t{1} << 63,
                        "2562047788015215:30:08"},
        BlockFormatCase{"EarliestOffset", std::nullopt, kEarliestOffset, 0, "2562047788015215:30:08"},
        BlockFormatCase{"LatestOffset", std::nullopt, kLatestOffset, 0, "2562047788015215:30:07"},
        BlockFormatCase{"YearTenThousand", 0, std::nullopt, kYear10000, "70389528:00:00"}),
    [](const ::testing::TestParamInfo<BlockFormatCase>& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace korvo::robustness
