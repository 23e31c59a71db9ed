// The three finders on worked examples, including their detail rows, a late segment across the wrap past
// 2^32, and copies under one identification found by sorting.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SegmentFixture.h"
#include "flow/GapFinder.h"
#include "flow/OOOFinder.h"
#include "flow/RepeatFinder.h"

namespace korvo::measurement {
namespace {

constexpr std::uint32_t kFullSegment = 1460;

class GapFinderTest : public ::testing::Test {
protected:
    // The holes of the segments filed.
    std::uint64_t gaps(bool details = true) {
        DetailText out;
        const std::uint64_t count = GapFinder(details).findGaps(segments.flow(), 0, out);
        rows = out.str();
        return count;
    }

    SegmentFixture segments;
    std::string rows;
};

TEST_F(GapFinderTest, EmptyAndSingleListsHaveNoGap) {
    EXPECT_EQ(gaps(), 0U);
    segments.add(1000, kFullSegment, 1);
    EXPECT_EQ(gaps(), 0U);
    EXPECT_EQ(rows, "");
}

TEST_F(GapFinderTest, ContiguousSegmentsOpenNoHole) {
    segments.add(1000, kFullSegment, 1);
    segments.add(2460, kFullSegment, 2);
    segments.add(3920, kFullSegment, 3);
    EXPECT_EQ(gaps(), 0U);
}

TEST_F(GapFinderTest, MissingSegmentOpensOneHoleWithItsRow) {
    segments.add(1000, kFullSegment, 7);
    segments.add(3920, kFullSegment, 9);
    EXPECT_EQ(gaps(), 1U);
    EXPECT_EQ(rows,
              "PreGapPacketID,7,Capture Time,2008-Mar-05 00:00:07,Sequence Number,1000,"
              "PostGapPacketID,9,Capture Time,2008-Mar-05 00:00:09,Sequence Number,3920,Gap Size,1460\n");
    EXPECT_EQ(gaps(false), 1U);
    EXPECT_EQ(rows, "");
}

TEST_F(GapFinderTest, RowNamesTheSegmentThatReachedFurthest) {
    // 1000+3000 reaches 4000; the repeat at 1500 ends inside and never becomes the reference; 3000+1460
    // reaches 4460 and does.
    segments.add(1000, 3000, 1);
    segments.add(1500, 100, 2);
    segments.add(3000, kFullSegment, 3);
    segments.add(5000, 100, 4);
    EXPECT_EQ(gaps(), 1U);
    EXPECT_NE(rows.find("PreGapPacketID,3,"), std::string::npos);
    EXPECT_NE(rows.find(",Gap Size,540\n"), std::string::npos);
}

class OOOFinderTest : public ::testing::Test {
protected:
    // Files the sequence numbers in capture order, each a full segment unless `lengths` says otherwise, and
    // returns the count.
    std::uint64_t outOfOrder(const std::vector<std::uint32_t>& captured,
                             const std::vector<std::uint32_t>& lengths = {}) {
        SegmentFixture segments;
        for (std::size_t index = 0; index < captured.size(); ++index) {
            segments.add(captured[index], index < lengths.size() ? lengths[index] : kFullSegment, index + 1);
        }
        DetailText out;
        const std::uint64_t count = OOOFinder(true).findOutOfOrder(segments.flow(), 0, out);
        rows = out.str();
        return count;
    }

    std::string rows;
};

TEST_F(OOOFinderTest, InOrderCapture) {
    EXPECT_EQ(outOfOrder({}), 0U);
    EXPECT_EQ(outOfOrder({1000}), 0U);
    EXPECT_EQ(outOfOrder({1000, 2460, 3920, 5380}), 0U);
    EXPECT_EQ(rows, "");
}

TEST_F(OOOFinderTest, ReorderedSegmentIsNamed) {
    EXPECT_EQ(outOfOrder({1000, 3920, 2460, 5380}), 1U);
    EXPECT_EQ(rows, "Packet Number,3,Capture Time,2008-Mar-05 00:00:03,Sequence Number,2460\n");
}

TEST_F(OOOFinderTest, RetransmissionAndLateSegmentsCount) {
    EXPECT_EQ(outOfOrder({1000, 2460, 3920, 2460}), 1U);
    EXPECT_EQ(rows, "Packet Number,4,Capture Time,2008-Mar-05 00:00:04,Sequence Number,2460\n");
    EXPECT_EQ(outOfOrder({1000, 5380, 2460, 3920}), 2U);
}

TEST_F(OOOFinderTest, PositionsDecideAcrossTheWrap) {
    // 0x100 has wrapped past 2^32 and lies beyond 0xFFFFFF00; 0xFFFFFF80 comes late.
    EXPECT_EQ(outOfOrder({0xFFFFFF00U, 0x100, 0xFFFFFF80U, 0x200}), 1U);
    EXPECT_EQ(rows, "Packet Number,3,Capture Time,2008-Mar-05 00:00:03,Sequence Number,4294967168\n");
}

TEST_F(OOOFinderTest, SegmentsWithoutDataKeepAlivesAndProbesAreNeverLate) {
    // An acknowledgement behind the furthest segment occupies nothing; one at 3920 moves the furthest start
    // on, and the one byte at 3919 after it is a keep-alive. The retransmission at place 5 still counts.
    EXPECT_EQ(outOfOrder({1000, 2460, 1500, 3920, 3919, 1000}, {1460, 1460, 0, 0, 1, 1460}), 1U);
    EXPECT_EQ(rows, "Packet Number,6,Capture Time,2008-Mar-05 00:00:06,Sequence Number,1000\n");
}

class RepeatFinderTest : public ::testing::Test {
protected:
    // Packets 100 µs apart, so that every copy below comes at once.
    void SetUp() override { segments.setSpacing(boost::posix_time::microseconds(100)); }

    SegmentFixture segments;
    DetailText rows;
};

TEST_F(RepeatFinderTest, CountsEveryLaterSegmentUnderAnIdentification) {
    // Keys 5, 3, 5, 3, 3 in capture order (packets 1 to 5); identification order: 3 (p2, p4, p5), 5 (p1, p3).
    for (const auto& [key, packet] : {std::pair{5, 1}, {3, 2}, {5, 3}, {3, 4}, {3, 5}}) {
        segments.add(1000, kFullSegment, static_cast<std::uint64_t>(packet), static_cast<std::uint16_t>(key));
    }
    const std::vector<std::uint32_t> byId = {1, 3, 4, 0, 2};
    EXPECT_EQ(RepeatFinder(true).findRepeats(segments.list(byId), rows), 3U);
    EXPECT_EQ(rows.str(),
              "Packet Number,4,Capture Time,2008-Mar-05 00:00:00.000400,Sequence Number,1000\n"
              "Packet Number,5,Capture Time,2008-Mar-05 00:00:00.000500,Sequence Number,1000\n"
              "Packet Number,3,Capture Time,2008-Mar-05 00:00:00.000300,Sequence Number,1000\n");
    DetailText quiet;
    EXPECT_EQ(RepeatFinder(false).findRepeats(segments.list(byId), quiet), 3U);
    EXPECT_TRUE(quiet.empty());
}

TEST_F(RepeatFinderTest, ManySegmentsUnderOneIdentification) {
    // Beyond a handful of segments under one key the copies are found by sorting; rows stay in capture
    // order. Packets 31 and 35 copy packets 20 and 3.
    std::vector<std::uint32_t> byId;
    for (std::uint32_t packet = 1; packet <= 40; ++packet) {
        const std::uint32_t copied = packet == 31 ? 20 : packet == 35 ? 3 : packet;
        byId.push_back(segments.add(copied * 100, 100, packet));
    }
    EXPECT_EQ(RepeatFinder(true).findRepeats(segments.list(byId), rows), 2U);
    EXPECT_EQ(rows.str(),
              "Packet Number,31,Capture Time,2008-Mar-05 00:00:00.003100,Sequence Number,2000\n"
              "Packet Number,35,Capture Time,2008-Mar-05 00:00:00.003500,Sequence Number,300\n");
}

TEST_F(RepeatFinderTest, OnlyACopyThatComesAtOnceIsARepeat) {
    // Under one identification: the same segment at 0, 10 ms (a copy), 20.1 ms (a resend: 10.1 ms after the
    // last like it) and 25 ms (a copy of the resend); taken pairwise and, beyond a handful, by sorting.
    for (const std::uint32_t filler : {0U, 20U}) {
        SegmentFixture spaced;
        spaced.setSpacing(boost::posix_time::microseconds(100));
        std::vector<std::uint32_t> byId;
        for (const std::uint32_t packet : {1U, 101U, 202U, 251U}) {
            byId.push_back(spaced.add(5000, 100, packet));
        }
        for (std::uint32_t other = 0; other < filler; ++other) {
            byId.push_back(spaced.add(9000 + other * 100, 100, 300 + other));
        }
        DetailText found;
        EXPECT_EQ(RepeatFinder(true).findRepeats(spaced.list(byId), found), 2U) << filler;
        EXPECT_EQ(found.str(),
                  "Packet Number,101,Capture Time,2008-Mar-05 00:00:00.010100,Sequence Number,5000\n"
                  "Packet Number,251,Capture Time,2008-Mar-05 00:00:00.025100,Sequence Number,5000\n");
    }
}

TEST_F(RepeatFinderTest, DistinctIdentificationsAreNoRepeats) {
    const std::vector<std::uint32_t> byId = {segments.add(1000, 40, 1, 1), segments.add(1000, 40, 2, 2)};
    EXPECT_EQ(RepeatFinder(true).findRepeats(segments.list(byId), rows), 0U);
    EXPECT_EQ(RepeatFinder(true).findRepeats(segments.list({}), rows), 0U);
    EXPECT_TRUE(rows.empty());
}

}  // namespace
}  // namespace korvo::measurement
