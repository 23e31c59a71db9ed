// The load and capture-span texts over a range of byte counts and spans, each worked out by hand.

#include <string>
#include <vector>

#include "e2e/ToolTest.h"

namespace korvo::e2e {
namespace {

struct Record {
    CaptureTime at;
    std::uint32_t wireLength;
};

struct LoadCase {
    std::string name;
    std::vector<Record> records;
    std::string volume;
    std::string load;
    std::string duration;
};

void PrintTo(const LoadCase& loadCase, std::ostream* out) {
    *out << loadCase.name;
}

class LoadAndDurationTest : public ToolTest, public ::testing::WithParamInterface<LoadCase> {};

// Every record carries the same 60 captured bytes (an ARP frame) and the wire length of the case.
TEST_P(LoadAndDurationTest, Texts) {
    const auto frame = tools::FrameBuilder().nonIp(tools::FrameBuilder::kEtherTypeArp, 46).build();
    ASSERT_EQ(frame.size(), 60U);
    TestCapture capture = newCapture();
    for (const Record& record : GetParam().records) {
        capture.addRecord(record.at, frame, record.wireLength);
    }
    capture.close();

    const RunResult result = analyse();

    expectQuietSuccess(result);
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), GetParam().volume);
    EXPECT_EQ(results.summaryValue("TrafficLoadInMbps"), GetParam().load);
    EXPECT_EQ(results.summaryValue("CaptureDuration"), GetParam().duration);
}

constexpr std::uint32_t kStart = kMarch2008;

// Load = bytes * 8 / microseconds, with six significant digits.
INSTANTIATE_TEST_SUITE_P(
    Captures, LoadAndDurationTest,
    ::testing::Values(
        // 8,000,000 bits / 8,000,000 us.
        LoadCase{"OneMegabyteOverEightSeconds",
                 {{{kStart, 0}, 500000}, {{kStart + 8, 0}, 500000}},
                 "1000000",
                 "1",
                 "00:00:08"},
        // 12,000 / 3,000,000.
        LoadCase{"FifteenHundredBytesOverThreeSeconds",
                 {{{kStart, 0}, 750}, {{kStart + 3, 0}, 750}},
                 "1500",
                 "0.004",
                 "00:00:03"},
        // 987,654,312 / 60,000,000 = 16.46090...
        LoadCase{"ManyBytesOverAMinute",
                 {{{kStart, 0}, 100000000}, {{kStart + 60, 0}, 23456789}},
                 "123456789",
                 "16.4609",
                 "00:01:00"},
        // 4,800,000,000 bits (beyond 32 bits) / 3,600,000,000 us (beyond a signed 32-bit count).
        LoadCase{"SixHundredMegabytesOverAnHour",
                 {{{kStart, 0}, 300000000}, {{kStart + 3600, 0}, 300000000}},
                 "600000000",
                 "1.33333",
                 "01:00:00"},
        // 1,000,000 bits / 1 us: a million, written with an exponent.
        LoadCase{"MillionMegabitsPerSecond",
                 {{{kStart, 5}, 62500}, {{kStart, 6}, 62500}},
                 "125000",
                 "1e+06",
                 "00:00:00.000001"},
        // 960 / 1,000,000,000 = 9.6e-07.
        LoadCase{"TinyLoad", {{{kStart, 0}, 60}, {{kStart + 1000, 0}, 60}}, "120", "9.6e-07", "00:16:40"},
        // Both frames at one instant: bytes over no time.
        LoadCase{"SameInstant", {{{kStart, 5}, 60}, {{kStart, 5}, 60}}, "120", "inf", "00:00:00"},
        LoadCase{"OneFrame", {{{kStart, 5}, 60}}, "60", "inf", "00:00:00"},
        // 960 / 90,500,000 = 1.060773e-05.
        LoadCase{"HalfSecondFraction",
                 {{{kStart, 0}, 60}, {{kStart + 90, 500000}, 60}},
                 "120",
                 "1.06077e-05",
                 "00:01:30.500000"},
        // 3 h 2 min 1 s = 10,921 s; 960 / 10,921,000,042 = 8.79040e-08, the trailing zero dropped.
        LoadCase{"HoursMinutesSecondsMicroseconds",
                 {{{kStart, 0}, 60}, {{kStart + 10921, 42}, 60}},
                 "120",
                 "8.7904e-08",
                 "03:02:01.000042"},
        // Earliest +2.25 s, latest +9 s, whatever the order in the file: 6.75 s; 1920 / 6,750,000.
        LoadCase{
            "FramesOutOfTimeOrder",
            {{{kStart + 5, 0}, 60}, {{kStart + 2, 250000}, 60}, {{kStart + 9, 0}, 60}, {{kStart + 4, 0}, 60}},
            "240",
            "0.000284444",
            "00:00:06.750000"},
        // 86,400 s; 960 / 86,400,000,000 = 1.111111e-08.
        LoadCase{"ADay", {{{kStart, 0}, 60}, {{kStart + 86400, 0}, 60}}, "120", "1.11111e-08", "24:00:00"},
        // 90,000 s and 42 us; 960 / 90,000,000,042 = 1.066667e-08.
        LoadCase{"TwentyFiveHours",
                 {{{kStart, 0}, 60}, {{kStart + 90000, 42}, 60}},
                 "120",
                 "1.06667e-08",
                 "25:00:00.000042"},
        // 360,001 s; 960 / 360,001,000,000 = 2.666659e-09.
        LoadCase{"HundredHours",
                 {{{kStart, 0}, 60}, {{kStart + 360001, 0}, 60}},
                 "120",
                 "2.66666e-09",
                 "100:00:01"}),
    [](const ::testing::TestParamInfo<LoadCase>& caseInfo) { return caseInfo.param.name; });

}  // namespace
}  // namespace korvo::e2e
