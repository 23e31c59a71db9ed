// The three finders on worked examples, including their detail rows and the raw 32-bit comparisons near the
// top of the sequence space.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SegmentFixture.h"
#include "flow/GapFinder.h"
#include "flow/OOOFinder.h"
#include "flow/RepeatFinder.h"

namespace korvo::measurement {
namespace {

constexpr std::uint32_t kFullSegment = 1480;

class GapFinderTest : public ::testing::Test {
protected:
    std::uint64_t gaps(const std::vector<std::uint32_t>& bySequence, bool details = true) {
        DetailText out;
        const std::uint64_t count = GapFinder(details).findGaps(segments.list(bySequence), out);
        rows = out.str();
        return count;
    }

    SegmentFixture segments;
    std::string rows;
};

TEST_F(GapFinderTest, EmptyAndSingleListsHaveNoGap) {
    EXPECT_EQ(gaps({}), 0U);
    EXPECT_EQ(gaps({segments.add(1000, kFullSegment, 1)}), 0U);
    EXPECT_EQ(rows, "");
}

TEST_F(GapFinderTest, ContiguousSegmentsOpenNoHole) {
    EXPECT_EQ(gaps({segments.add(1000, kFullSegment, 1), segments.add(2460, kFullSegment, 2),
                    segments.add(3920, kFullSegment, 3)}),
              0U);
}

TEST_F(GapFinderTest, MissingSegmentOpensOneHoleWithItsRow) {
    const std::vector<std::uint32_t> list = {segments.add(1000, kFullSegment, 7),
                                             segments.add(3920, kFullSegment, 9)};
    EXPECT_EQ(gaps(list), 1U);
    EXPECT_EQ(rows,
              "PreGapPacketID,7,Capture Time,2008-Mar-05 00:00:07,Sequence Number,1000,"
              "PostGapPacketID,9,Capture Time,2008-Mar-05 00:00:09,Sequence Number,3920,Gap Size,1440\n");
    EXPECT_EQ(gaps(list, false), 1U);
    EXPECT_EQ(rows, "");
}

TEST_F(GapFinderTest, RowNamesTheSegmentThatReachedFurthest) {
    // 1000+3000 reaches 4000; the repeat at 1500 ends inside and never becomes the reference; 3000+1480
    // reaches 4480 and does.
    const std::vector<std::uint32_t> list = {segments.add(1000, 3000, 1), segments.add(1500, 100, 2),
                                             segments.add(3000, kFullSegment, 3), segments.add(5000, 100, 4)};
    EXPECT_EQ(gaps(list), 1U);
    EXPECT_NE(rows.find("PreGapPacketID,3,"), std::string::npos);
    EXPECT_NE(rows.find(",Gap Size,520\n"), std::string::npos);
}

TEST_F(GapFinderTest, RawComparisonsNearTheTopOfTheSequenceSpace) {
    // Covered end just below 2^32: a wrapped-around segment compares as inside the covered range.
    EXPECT_EQ(gaps({segments.add(0xFFFFF000U, 0x500, 1), segments.add(0x100, 0x500, 2)}), 0U);
    // Covered end wrapped to a small value: a later segment just below 2^32 compares as a hole, its size
    // taken modulo 2^32.
    EXPECT_EQ(gaps({segments.add(0xFFFFFF00U, 0x200, 1), segments.add(0xFFFFFFF0U, 0x10, 2)}), 1U);
    EXPECT_NE(rows.find(",Gap Size,4294967024\n"), std::string::npos);
}

class OOOFinderTest : public ::testing::Test {
protected:
    // Files the sequence numbers in capture order and returns the count; the sequence order is worked out
    // by the caller as the flow table would.
    std::uint64_t outOfOrder(const std::vector<std::uint32_t>& captured,
                             const std::vector<std::size_t>& sequenceRanks) {
        std::vector<std::uint32_t> byCapture;
        for (std::size_t index = 0; index < captured.size(); ++index) {
            byCapture.push_back(segments.add(captured[index], kFullSegment, index + 1));
        }
        std::vector<std::uint32_t> bySequence;
        for (const std::size_t rank : sequenceRanks) {
            bySequence.push_back(byCapture[rank]);
        }
        DetailText out;
        const std::uint64_t count =
            OOOFinder(true).findOutOfOrder(segments.list(bySequence), segments.list(byCapture), out);
        rows = out.str();
        return count;
    }

    SegmentFixture segments;
    std::string rows;
};

TEST_F(OOOFinderTest, InOrderCapture) {
    EXPECT_EQ(outOfOrder({}, {}), 0U);
    EXPECT_EQ(outOfOrder({1000}, {0}), 0U);
    EXPECT_EQ(outOfOrder({1000, 2460, 3920, 5380}, {0, 1, 2, 3}), 0U);
    EXPECT_EQ(rows, "");
}

TEST_F(OOOFinderTest, ReorderedSegmentIsNamed) {
    EXPECT_EQ(outOfOrder({1000, 3920, 2460, 5380}, {0, 2, 1, 3}), 1U);
    EXPECT_EQ(rows, "Packet Number,3,Capture Time,2008-Mar-05 00:00:03,Sequence Number,2460\n");
}

TEST_F(OOOFinderTest, RetransmissionAndLateSegmentsCount) {
    EXPECT_EQ(outOfOrder({1000, 2460, 3920, 2460}, {0, 3, 1, 2}), 1U);
    EXPECT_EQ(rows, "Packet Number,4,Capture Time,2008-Mar-05 00:00:04,Sequence Number,2460\n");
    EXPECT_EQ(outOfOrder({1000, 5380, 2460, 3920}, {0, 2, 3, 1}), 2U);
}

TEST_F(OOOFinderTest, DistancesAreMeasuredFromBelowTheFirstSequenceNumber) {
    // The sequence order starts with 9000 (3000 below the first captured segment sorts first), so the
    // origin is 6000: 10000 lies at 4000 and 9000 at 3000.
    EXPECT_EQ(outOfOrder({10000, 9000}, {1, 0}), 1U);
    // 5000 sorts last (it wraps to the largest distance), so the origin is 7000 and 5000 becomes the
    // furthest segment: 11460 and 12920 are then out of order.
    EXPECT_EQ(outOfOrder({10000, 5000, 11460, 12920}, {0, 2, 3, 1}), 2U);
}

class RepeatFinderTest : public ::testing::Test {
protected:
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
              "Packet Number,4,Capture Time,2008-Mar-05 00:00:04,Sequence Number,1000\n"
              "Packet Number,5,Capture Time,2008-Mar-05 00:00:05,Sequence Number,1000\n"
              "Packet Number,3,Capture Time,2008-Mar-05 00:00:03,Sequence Number,1000\n");
    DetailText quiet;
    EXPECT_EQ(RepeatFinder(false).findRepeats(segments.list(byId), quiet), 3U);
    EXPECT_TRUE(quiet.empty());
}

TEST_F(RepeatFinderTest, DistinctIdentificationsAreNoRepeats) {
    const std::vector<std::uint32_t> byId = {segments.add(1000, 40, 1, 1), segments.add(1000, 40, 2, 2)};
    EXPECT_EQ(RepeatFinder(true).findRepeats(segments.list(byId), rows), 0U);
    EXPECT_EQ(RepeatFinder(true).findRepeats(segments.list({}), rows), 0U);
    EXPECT_TRUE(rows.empty());
}

}  // namespace
}  // namespace korvo::measurement
