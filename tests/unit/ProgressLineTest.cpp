// The progress line: its text for files of known and unknown size, when it is drawn, how a shorter text
// covers a longer one, and that it is wiped at the end.

#include "app/ProgressLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

namespace korvo::measurement {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kGiB = 1024 * kMiB;

TEST(ProgressLineText, FileOfKnownSizeShowsShareRateAndTimeLeft) {
    EXPECT_EQ(ProgressLine::text(kGiB, 4 * kGiB, seconds(2)),
              "Read 1.0 GiB of 4.0 GiB (25.0%), 512.0 MiB/s, 0:06 left");
    EXPECT_EQ(ProgressLine::text(300 * kMiB, 100 * kGiB, seconds(3)),
              "Read 300.0 MiB of 100.0 GiB (0.2%), 100.0 MiB/s, 17:01 left");
    EXPECT_EQ(ProgressLine::text(kMiB, 4 * kGiB, seconds(1)),
              "Read 1.0 MiB of 4.0 GiB (0.0%), 1.0 MiB/s, 1:08:15 left");
}

TEST(ProgressLineText, InputOfUnknownSizeShowsBytesAndRateAlone) {
    EXPECT_EQ(ProgressLine::text(3 * kMiB, std::nullopt, seconds(2)), "Read 3.0 MiB, 1.5 MiB/s");
    EXPECT_EQ(ProgressLine::text(1000, std::nullopt, milliseconds(500)), "Read 1000 B, 2.0 KiB/s");
}

TEST(ProgressLineText, ShareIsRoundedDownSoThatOnlyTheWholeFileShowsAHundred) {
    EXPECT_EQ(ProgressLine::text(9999, 10000, seconds(1)),
              "Read 9.8 KiB of 9.8 KiB (99.9%), 9.8 KiB/s, 0:00 left");
    EXPECT_EQ(ProgressLine::text(10000, 10000, seconds(1)),
              "Read 9.8 KiB of 9.8 KiB (100.0%), 9.8 KiB/s, 0:00 left");
}

TEST(ProgressLineText, FileReadPastItsSizeStaysAtAHundred) {
    EXPECT_EQ(ProgressLine::text(2048, 1024, seconds(1)),
              "Read 2.0 KiB of 2.0 KiB (100.0%), 2.0 KiB/s, 0:00 left");
}

TEST(ProgressLineText, UnitsChangeWhereOneDecimalWouldShowTheNextUnitsValue) {
    EXPECT_EQ(ProgressLine::text(1023, std::nullopt, seconds(1)), "Read 1023 B, 1023 B/s");
    EXPECT_EQ(ProgressLine::text(1024, std::nullopt, seconds(1)), "Read 1.0 KiB, 1.0 KiB/s");
    // 1023.96 KiB would be written "1024.0 KiB".
    EXPECT_EQ(ProgressLine::text(kMiB - 40, std::nullopt, seconds(1)), "Read 1.0 MiB, 1.0 MiB/s");
    EXPECT_EQ(ProgressLine::text(kMiB - 60, std::nullopt, seconds(1)), "Read 1023.9 KiB, 1023.9 KiB/s");
}

TEST(ProgressLineText, NoTimeIsLeftToGuessBeforeAnyByteIsRead) {
    EXPECT_EQ(ProgressLine::text(0, kGiB, seconds(1)), "Read 0 B of 1.0 GiB (0.0%), 0 B/s");
    EXPECT_EQ(ProgressLine::text(0, kGiB, seconds(0)), "Read 0 B of 1.0 GiB (0.0%), 0 B/s");
}

// A line on a string stream whose clock the test moves by hand.
class ProgressLineDrawing : public ::testing::Test {
protected:
    ProgressLine::Clock::time_point now{seconds(1000)};
    std::ostringstream terminal;

    [[nodiscard]] ProgressLine::Now clock() {
        return [this] { return now; };
    }
    // What the terminal received since the last call.
    std::string taken() {
        std::string text = terminal.str();
        terminal.str("");
        return text;
    }
};

TEST_F(ProgressLineDrawing, NothingIsDrawnDuringTheFirstSecond) {
    ProgressLine line(&terminal, std::nullopt, clock());
    now += milliseconds(999);
    line.update(10 * kMiB);
    EXPECT_EQ(taken(), "");
    now += milliseconds(1);
    line.update(10 * kMiB);
    EXPECT_EQ(taken(), "\rRead 10.0 MiB, 10.0 MiB/s");
}

TEST_F(ProgressLineDrawing, RedrawnAFewTimesASecondAtMost) {
    ProgressLine line(&terminal, std::nullopt, clock());
    now += seconds(1);
    line.update(kMiB);
    EXPECT_EQ(taken(), "\rRead 1.0 MiB, 1.0 MiB/s");
    now += milliseconds(249);
    line.update(2 * kMiB);
    EXPECT_EQ(taken(), "");
    now += milliseconds(1);
    line.update(5 * kMiB);
    EXPECT_EQ(taken(), "\rRead 5.0 MiB, 4.0 MiB/s");
}

TEST_F(ProgressLineDrawing, ShorterTextIsPaddedOverTheLongerOne) {
    ProgressLine line(&terminal, std::nullopt, clock());
    now += seconds(1);
    line.update(1500 * kMiB);
    EXPECT_EQ(taken(), "\rRead 1.5 GiB, 1.5 GiB/s");
    now += seconds(1);
    line.update(1500 * kMiB + 1);
    EXPECT_EQ(taken(), "\rRead 1.5 GiB, 750.0 MiB/s");
    now += seconds(60);
    line.update(1500 * kMiB + 2);
    EXPECT_EQ(taken(), "\rRead 1.5 GiB, 24.2 MiB/s ");
    now += seconds(1438);
    line.update(1500 * kMiB + 3);
    // Padded to the widest text drawn so far, not only to the one before.
    EXPECT_EQ(taken(), "\rRead 1.5 GiB, 1.0 MiB/s  ");
}

TEST_F(ProgressLineDrawing, ClearingBlanksTheWidestTextAndReturnsToTheStartOfTheLine) {
    ProgressLine line(&terminal, 4 * kGiB, clock());
    now += seconds(2);
    line.update(kGiB);
    const std::string drawn = taken();
    ASSERT_EQ(drawn, "\rRead 1.0 GiB of 4.0 GiB (25.0%), 512.0 MiB/s, 0:06 left");
    line.clear();
    EXPECT_EQ(taken(), "\r" + std::string(drawn.size() - 1, ' ') + "\r");
    line.clear();
    EXPECT_EQ(taken(), "");
}

TEST_F(ProgressLineDrawing, DestroyingTheLineWipesIt) {
    {
        ProgressLine line(&terminal, std::nullopt, clock());
        now += seconds(1);
        line.update(1);
        EXPECT_EQ(taken(), "\rRead 1 B, 1 B/s");
    }
    EXPECT_EQ(taken(), "\r               \r");
}

TEST_F(ProgressLineDrawing, ShortRunLeavesTheTerminalUntouched) {
    {
        ProgressLine line(&terminal, kGiB, clock());
        now += milliseconds(900);
        line.update(kGiB);
        line.finishReading(kGiB);
    }
    EXPECT_EQ(taken(), "");
}

TEST_F(ProgressLineDrawing, EndOfReadingIsShownAtOnceWhenTheLineIsUp) {
    ProgressLine line(&terminal, 2 * kGiB, clock());
    now += seconds(1);
    line.update(kGiB);
    EXPECT_EQ(taken(), "\rRead 1.0 GiB of 2.0 GiB (50.0%), 1.0 GiB/s, 0:01 left");
    now += milliseconds(10);
    line.finishReading(2 * kGiB);
    EXPECT_EQ(taken(), "\rRead 2.0 GiB of 2.0 GiB (100.0%), 2.0 GiB/s, 0:00 left");
}

}  // namespace
}  // namespace korvo::measurement
