// The intervals of the charts: the ladder of widths, widening that keeps every count, times before 1970 and
// times that go backwards, and the bound on the number of intervals.

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "measurement/TimeBins.h"

namespace korvo::measurement {
namespace {

constexpr std::int64_t kSecond = 1'000'000;
constexpr std::int64_t kDay = 86'400 * kSecond;

std::uint64_t total(const TimeBins& bins, std::size_t counter) {
    std::uint64_t sum = 0;
    for (std::size_t interval = 0; interval < bins.intervals(); ++interval) {
        sum += bins.count(interval, counter);
    }
    return sum;
}

TEST(TimeBinsTest, TheLadderIsRoundAndEveryWidthDividesTheNext) {
    std::vector<std::int64_t> widths = {1};
    while (widths.back() < 1000 * kDay) {
        widths.push_back(TimeBins::nextWidth(widths.back()));
    }
    const std::vector<std::int64_t> expected = {1,
                                                2,
                                                10,
                                                20,
                                                100,
                                                200,
                                                1000,
                                                2000,
                                                10'000,
                                                20'000,
                                                100'000,
                                                200'000,
                                                kSecond,
                                                2 * kSecond,
                                                10 * kSecond,
                                                20 * kSecond,
                                                60 * kSecond,
                                                120 * kSecond,
                                                600 * kSecond,
                                                1200 * kSecond,
                                                3600 * kSecond,
                                                7200 * kSecond,
                                                21'600 * kSecond,
                                                kDay,
                                                2 * kDay,
                                                10 * kDay,
                                                20 * kDay,
                                                100 * kDay,
                                                200 * kDay,
                                                1000 * kDay};
    EXPECT_EQ(widths, expected);
}

TEST(TimeBinsTest, WideningKeepsEveryCountInTheIntervalOfItsTime) {
    TimeBins bins(2);
    // 2,500 frames 1 ms apart, starting just before 1970 so that floor division matters.
    const std::int64_t start = -1'234'567;
    for (std::int64_t frame = 0; frame < 2500; ++frame) {
        std::uint64_t* counts = bins.at(start + frame * 1000);
        ++counts[0];
        counts[1] += static_cast<std::uint64_t>(frame);
    }
    // 2.5 s need intervals of 10 ms: 2 ms would take 1,251 of them.
    EXPECT_EQ(bins.width(), 10'000);
    EXPECT_LE(bins.intervals(), TimeBins::kMostIntervals);
    EXPECT_EQ(bins.firstStart() % bins.width(), 0);
    EXPECT_LE(bins.firstStart(), start);
    EXPECT_GT(bins.firstStart() + bins.width(), start);
    EXPECT_EQ(total(bins, 0), 2500U);
    EXPECT_EQ(total(bins, 1), 2500U * 2499U / 2U);
    // The first frame, at -1.234567 s, shares its interval [-1.24 s, -1.23 s) with the next 4 only.
    EXPECT_EQ(bins.count(0, 0), 5U);
}

TEST(TimeBinsTest, TimesGoingBackwardsAddIntervalsInFront) {
    TimeBins bins(1);
    ++bins.at(10 * kSecond)[0];
    ++bins.at(10 * kSecond + 500)[0];
    ++bins.at(9 * kSecond)[0];
    // 9 s to 10.0005 s: 1,001 intervals of 1 ms are one too many.
    EXPECT_EQ(bins.width(), 2000);
    EXPECT_EQ(bins.intervals(), 501U);
    EXPECT_EQ(bins.count(0, 0), 1U);
    EXPECT_EQ(bins.count(bins.intervals() - 1, 0), 2U);
    EXPECT_EQ(total(bins, 0), 3U);
}

TEST(TimeBinsTest, TenYearsStayWithinTheBound) {
    TimeBins bins(1);
    ++bins.at(0)[0];
    ++bins.at(3653 * kDay)[0];
    EXPECT_EQ(bins.width(), 10 * kDay);
    EXPECT_EQ(bins.intervals(), 366U);
    EXPECT_EQ(total(bins, 0), 2U);
}

TEST(TimeBinsTest, AddingNarrowerIntervalsWidensToTheWiderSpan) {
    TimeBins wide(1);
    ++wide.at(0)[0];
    ++wide.at(5 * kSecond)[0];
    TimeBins narrow(1);
    ++narrow.at(20 * kSecond)[0];
    ++narrow.at(20 * kSecond + 3)[0];
    wide.add(narrow);
    EXPECT_EQ(total(wide, 0), 4U);
    EXPECT_LE(wide.intervals(), TimeBins::kMostIntervals);
    EXPECT_EQ(wide.count(wide.intervals() - 1, 0), 2U);
}

}  // namespace
}  // namespace korvo::measurement
