// Records captured short around the end of each header the tool reads, IP header lengths that move the TCP
// header about, and a wire length at the top of its range: each frame reaches exactly the levels whose
// headers were captured, and counts at its full wire length.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "robustness/DocumentedEnd.h"
#include "robustness/InProcessRun.h"
#include "robustness/SampleTraffic.h"
#include "tools/FrameBuilder.h"

namespace korvo::robustness {
namespace {

using tools::FrameBuilder;

constexpr std::uint32_t kMarch2008 = 1204726029;

struct Reach {
    bool ip;
    bool tcp;
};

class RecordBoundsTest : public ::testing::Test {
protected:
    // Analyses a capture of `frame` alone, `captured` bytes of it captured, and checks which levels it
    // reached through the figures that each level feeds.
    void expectReach(const std::vector<std::uint8_t>& frame, std::size_t captured, Reach reach) {
        SCOPED_TRACE(std::to_string(captured) + " of " + std::to_string(frame.size()) + " bytes captured");
        std::vector<std::uint8_t> bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(captured));
        const auto wire = static_cast<std::uint32_t>(frame.size());
        SampleTraffic::writePcap(run.capturePath(), {SampleRecord{kMarch2008, 0, bytes, wire}});
        const RunOutcome outcome = run.analyse(true);
        ASSERT_TRUE(DocumentedEnd::success(outcome, run.results(), true));
        const e2e::ResultFiles& results = run.results();
        EXPECT_EQ(results.summaryValue("TotalVolumeInB"), std::to_string(wire));
        EXPECT_EQ(results.summaryValue("NumberOfTruncatedPackets"), captured == frame.size() ? "0" : "1");
        EXPECT_EQ(results.summaryValue("NumberJumboIPPackets"), reach.ip ? "1" : "0");
        EXPECT_EQ(results.summaryValue("TotalVolumeTCPInB"), reach.tcp ? std::to_string(wire) : "0");
        EXPECT_EQ(results.summaryValue("NumberTCPFlows"), reach.tcp ? "1" : "0");
        EXPECT_EQ(results.summaryValue("NumberSimplexFlows"), reach.tcp ? "1" : "0");
    }

    InProcessRun run;
};

TEST_F(RecordBoundsTest, UntaggedFrameCapturedAroundEachHeaderEnd) {
    const std::vector<std::uint8_t> frame = SampleTraffic::jumboSegment(false);
    struct Case {
        std::size_t captured;
        Reach reach;
    };
    // Ethernet ends at 14, IP at 34, TCP at 54.
    const Case cases[] = {{0, {false, false}},  {1, {false, false}},         {13, {false, false}},
                          {14, {false, false}}, {17, {false, false}},        {18, {false, false}},
                          {33, {false, false}}, {34, {true, false}},         {53, {true, false}},
                          {54, {true, true}},   {frame.size(), {true, true}}};
    for (const Case& c : cases) {
        expectReach(frame, c.captured, c.reach);
    }
}

TEST_F(RecordBoundsTest, TaggedFrameCapturedInsideTheTagAndAroundEachHeaderEnd) {
    const std::vector<std::uint8_t> frame = SampleTraffic::jumboSegment(true);
    struct Case {
        std::size_t captured;
        Reach reach;
    };
    // The tag fills bytes 12 to 15, its inner EtherType 16 and 17; IP ends at 38, TCP at 58.
    const Case cases[] = {{12, {false, false}}, {13, {false, false}},        {14, {false, false}},
                          {15, {false, false}}, {16, {false, false}},        {17, {false, false}},
                          {18, {false, false}}, {33, {false, false}},        {34, {false, false}},
                          {37, {false, false}}, {38, {true, false}},         {57, {true, false}},
                          {58, {true, true}},   {frame.size(), {true, true}}};
    for (const Case& c : cases) {
        expectReach(frame, c.captured, c.reach);
    }
}

// The TCP header lies 4 × IHL bytes into the IP packet, whatever the nibble says: inside the fixed IP header
// for IHL 0 and 1, at the usual place for 5, behind 40 bytes of options for 15.
TEST_F(RecordBoundsTest, HeaderLengthNibbleMovesTheTcpHeaderOnShortCaptures) {
    struct Case {
        std::uint8_t headerWords;
        std::size_t captured;
        Reach reach;
    };
    const Case cases[] = {{0, 33, {false, false}}, {0, 34, {true, true}},   {1, 34, {true, false}},
                          {1, 37, {true, false}},  {1, 38, {true, true}},   {5, 34, {true, false}},
                          {5, 53, {true, false}},  {5, 54, {true, true}},   {15, 34, {true, false}},
                          {15, 54, {true, false}}, {15, 93, {true, false}}, {15, 94, {true, true}},
                          {0, 2014, {true, true}}, {1, 2014, {true, true}}, {15, 2014, {true, true}}};
    for (const Case& c : cases) {
        SCOPED_TRACE("IHL " + std::to_string(c.headerWords));
        expectReach(SampleTraffic::jumboSegment(false, c.headerWords), c.captured, c.reach);
    }
}

// A record claiming 2^32 - 1 bytes on the wire next to one of 60: the sums leave 32 bits, the TCP volume
// counts the whole wire length, and only the first frame is truncated.
TEST_F(RecordBoundsTest, WireLengthAtTheTopOfItsRange) {
    const std::vector<std::uint8_t> segment =
        FrameBuilder().ipv4(0x0A000001, 0x0A000002).ipIdentification(1).tcp(1234, 80, 1).payload(6).build();
    const std::vector<std::uint8_t> second =
        FrameBuilder().ipv4(0x0A000001, 0x0A000002).ipIdentification(2).tcp(1234, 80, 7).payload(6).build();
    SampleTraffic::writePcap(run.capturePath(), {SampleRecord{kMarch2008, 0, segment, 0xFFFFFFFFU},
                                                 SampleRecord{kMarch2008 + 1, 0, second, 60}});

    const RunOutcome outcome = run.analyse(true);

    ASSERT_TRUE(DocumentedEnd::success(outcome, run.results(), true));
    const e2e::ResultFiles& results = run.results();
    // 4,294,967,295 + 60 bytes; 4,294,967,355 * 8 bits over 1,000,000 us.
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), "4294967355");
    EXPECT_EQ(results.summaryValue("TotalVolumeTCPInB"), "4294967355");
    EXPECT_EQ(results.summaryValue("TrafficLoadInMbps"), "34359.7");
    EXPECT_EQ(results.summaryValue("NumberTCPFlows"), "1");
    EXPECT_EQ(results.summaryValue("NumberGapsInTCPFlows"), "0");
    EXPECT_EQ(results.summaryValue("NumberJumboIPPackets"), "0");
    EXPECT_EQ(results.summaryValue("NumberOfTruncatedPackets"), "1");
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"), "Packet Number,1\n");
}

}  // namespace
}  // namespace korvo::robustness
