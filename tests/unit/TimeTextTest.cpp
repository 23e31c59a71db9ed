// The capture-time and duration texts must be exactly what the date-time library's stream output writes; the
// ISO 8601 times of the flow table what its ISO text writes, always with six decimals and a Z.

#include <gtest/gtest.h>

#include <array>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <random>
#include <sstream>
#include <vector>

#include "figure/IsoTimeText.h"
#include "figure/TimeText.h"

namespace korvo::measurement {
namespace {

using boost::posix_time::hours;
using boost::posix_time::microseconds;
using boost::posix_time::minutes;
using boost::posix_time::ptime;
using boost::posix_time::seconds;
using boost::posix_time::time_duration;

const ptime kEpoch(boost::gregorian::date(1970, 1, 1));

template <typename Value>
std::string libraryText(const Value& value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

TEST(TimeText, CaptureTimeExamples) {
    const ptime time(boost::gregorian::date(2008, 3, 5), hours(14) + minutes(7) + seconds(9));
    EXPECT_EQ(TimeText::captureTime(time), "2008-Mar-05 14:07:09");
    EXPECT_EQ(TimeText::captureTime(time + microseconds(120)), "2008-Mar-05 14:07:09.000120");
    EXPECT_EQ(TimeText::captureTime(kEpoch), "1970-Jan-01 00:00:00");
    EXPECT_EQ(TimeText::captureTime(kEpoch + seconds(1) + microseconds(500000)),
              "1970-Jan-01 00:00:01.500000");
}

TEST(TimeText, CaptureTimeMatchesLibraryOverTheWholeRecordRange) {
    // Record timestamps are unsigned 32-bit seconds: 1970 to 2106, across leap years and month ends.
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<std::int64_t> secondsSinceEpoch(0, 0xFFFFFFFFLL);
    std::uniform_int_distribution<std::int64_t> fraction(0, 999999);
    for (int sample = 0; sample < 20000; ++sample) {
        const std::int64_t micros = sample % 4 == 0 ? 0 : fraction(random);
        const ptime time = kEpoch + seconds(secondsSinceEpoch(random)) + microseconds(micros);
        ASSERT_EQ(TimeText::captureTime(time), libraryText(time));
    }
    for (const unsigned short year : std::initializer_list<unsigned short>{1972, 2000, 2024, 2100, 2106}) {
        for (const auto& day : {boost::gregorian::date(year, 2, 28), boost::gregorian::date(year, 12, 31)}) {
            const ptime lastMicro = ptime(day) + hours(24) - microseconds(1);
            ASSERT_EQ(TimeText::captureTime(lastMicro), libraryText(lastMicro));
            ASSERT_EQ(TimeText::captureTime(lastMicro + microseconds(1)),
                      libraryText(lastMicro + microseconds(1)));
        }
    }
}

TEST(TimeText, CaptureTimeBeforeTheEpoch) {
    const ptime time = kEpoch - microseconds(1);
    EXPECT_EQ(TimeText::captureTime(time), "1969-Dec-31 23:59:59.999999");
    EXPECT_EQ(TimeText::captureTime(time), libraryText(time));
}

std::string isoText(ptime time) {
    std::array<char, TimeText::kMostTextLength> text{};
    return {text.data(), TimeText::writeIsoTime(text.data(), time)};
}

std::string secondsText(time_duration span) {
    std::array<char, TimeText::kMostTextLength> text{};
    return {text.data(), TimeText::writeSeconds(text.data(), span)};
}

TEST(TimeText, IsoTimeExamples) {
    EXPECT_EQ(isoText(ptime(boost::gregorian::date(2024, 1, 1)) + microseconds(188)),
              "2024-01-01T00:00:00.000188Z");
    EXPECT_EQ(isoText(ptime(boost::gregorian::date(2008, 3, 5), hours(14) + minutes(7) + seconds(9))),
              "2008-03-05T14:07:09.000000Z");
    EXPECT_EQ(isoText(kEpoch - microseconds(1)), "1969-12-31T23:59:59.999999Z");
    EXPECT_EQ(isoText(ptime(boost::gregorian::date(1400, 1, 1))), "1400-01-01T00:00:00.000000Z");
    EXPECT_EQ(isoText(ptime(boost::gregorian::date(9999, 12, 31)) + hours(24) - microseconds(1)),
              "9999-12-31T23:59:59.999999Z");
}

TEST(TimeText, IsoTimeMatchesLibraryOverTheWholeTimestampRange) {
    // Captures may hold times from 1400 to 9999; the library leaves out a zero fraction and the zone.
    std::mt19937_64 random(8601);
    const std::int64_t first = (ptime(boost::gregorian::date(1400, 1, 1)) - kEpoch).total_seconds();
    const std::int64_t last = (ptime(boost::gregorian::date(9999, 12, 31)) - kEpoch).total_seconds();
    std::uniform_int_distribution<std::int64_t> secondsSinceEpoch(first, last);
    std::uniform_int_distribution<std::int64_t> fraction(1, 999999);
    for (int sample = 0; sample < 20000; ++sample) {
        const ptime time = kEpoch + seconds(secondsSinceEpoch(random)) + microseconds(fraction(random));
        ASSERT_EQ(isoText(time), boost::posix_time::to_iso_extended_string(time) + "Z");
    }
}

// The kept text of a second must never stand for another: times are asked for in runs of one second, then
// a second 64 seconds away (the same place among the kept ones), then across midnight and 1970.
TEST(TimeText, KeptSecondsWriteWhatTheFullTextWrites) {
    IsoTimeText kept;
    std::mt19937_64 random(64);
    std::uniform_int_distribution<std::int64_t> fraction(0, 999999);
    std::vector<std::int64_t> seconds = {0, -1, 63, -65, 86399, 86400, 1704067199, 1704067200};
    std::uniform_int_distribution<std::int64_t> anySecond(-17987443200, 253402300799);
    for (int sample = 0; sample < 200; ++sample) {
        seconds.push_back(anySecond(random));
        seconds.push_back(seconds.back() + 64);
    }
    for (const std::int64_t second : seconds) {
        for (int repeat = 0; repeat < 3; ++repeat) {
            const std::int64_t micros = second * 1000000 + fraction(random);
            std::array<char, TimeText::kMostTextLength> expected{};
            std::array<char, TimeText::kMostTextLength> written{};
            char* expectedEnd = TimeText::writeIsoTime(expected.data(), kEpoch + microseconds(micros));
            char* writtenEnd = kept.write(written.data(), micros);
            ASSERT_EQ(std::string(written.data(), writtenEnd), std::string(expected.data(), expectedEnd))
                << micros;
        }
    }
}

TEST(TimeText, SecondsWithSixDecimals) {
    EXPECT_EQ(secondsText(time_duration(0, 0, 0)), "0.000000");
    EXPECT_EQ(secondsText(microseconds(1)), "0.000001");
    EXPECT_EQ(secondsText(seconds(3) + microseconds(42)), "3.000042");
    EXPECT_EQ(secondsText(hours(25) + microseconds(500000)), "90000.500000");
}

TEST(TimeText, DurationExamples) {
    EXPECT_EQ(TimeText::duration(time_duration(0, 0, 0)), "00:00:00");
    EXPECT_EQ(TimeText::duration(seconds(90) + microseconds(500000)), "00:01:30.500000");
    EXPECT_EQ(TimeText::duration(hours(3) + minutes(2) + seconds(1) + microseconds(42)), "03:02:01.000042");
    EXPECT_EQ(TimeText::duration(seconds(1)), "00:00:01");
    EXPECT_EQ(TimeText::duration(microseconds(1)), "00:00:00.000001");
    EXPECT_EQ(TimeText::duration(hours(25) + microseconds(42)), "25:00:00.000042");
}

TEST(TimeText, DurationMatchesLibraryIncludingLongAndNegativeSpans) {
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::int64_t> span(-(std::int64_t{1} << 42), std::int64_t{1} << 42);
    for (int sample = 0; sample < 20000; ++sample) {
        std::int64_t micros = span(random);
        if (sample % 3 == 0) {
            micros -= micros % 1000000;
        }
        const time_duration duration = microseconds(micros);
        ASSERT_EQ(TimeText::duration(duration), libraryText(duration)) << micros;
    }
    for (const time_duration duration :
         std::initializer_list<time_duration>{hours(99) + minutes(59), hours(100), hours(1193046)}) {
        EXPECT_EQ(TimeText::duration(duration), libraryText(duration));
    }
}

}  // namespace
}  // namespace korvo::measurement
