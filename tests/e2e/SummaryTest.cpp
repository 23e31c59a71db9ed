// The summary file byte for byte, and the detail files of truncated frames, jumbo packets and fragments, on
// captures whose every figure is worked out by hand below.

#include <array>
#include <cstdint>
#include <optional>

#include "e2e/MixedCapture.h"
#include "e2e/ToolTest.h"
#include "support/ExpectedSummary.h"

namespace korvo::e2e {
namespace {

using tools::FrameBuilder;

class SummaryTest : public ToolTest {};

TEST_F(SummaryTest, EmptyCapture) {
    newCapture().close();

    const RunResult result = analyse(true);

    expectQuietSuccess(result);
    // No frame: 0 bytes over 0 microseconds is not a number.
    EXPECT_EQ(results.summary(),
              "Volume Measurements:\n"
              "TotalVolumeInB: 0\n"
              "TrafficLoadInMbps: nan\n"
              "CaptureDuration: 00:00:00\n"
              "TotalVolumeTCPInB: 0\n"
              "NumberTCPFlows: 0\n"
              "\n"
              "Flow Measurements:\n"
              "NumberTCPFlowDuplicates: 0\n"
              "NumberTCPGapFlows: 0\n"
              "NumberTCPOutOfOrderFlows: 0\n"
              "NumberSimplexFlows: 0\n"
              "\n"
              "Packet Measurements:\n"
              "NumberJumboIPPackets: 0\n"
              "NumberIPFragments: 0\n"
              "NumberGapsInTCPFlows: 0\n"
              "NumberOutOfOrderTCPPackets: 0\n"
              "NumberTCPDuplicates: 0\n"
              "NumberOfTruncatedPackets: 0\n"
              "\n");
    for (const std::string& figure : kDetailFigures) {
        EXPECT_EQ(results.detail(figure), "") << figure;
    }
}

// Sums over the sixteen frames of MixedCapture:
// - all wire lengths: 54+54+42+74+154+68+54+2014+154+1634+98+42+1454+54+1514+60 = 7524;
// - frames that reach TCP (1, 2, 5, 6, 8, 13, 14; not the fragments 9 to 11): 54+54+154+68+2014+1454+54 =
// 3852;
// - span: frame 12 at -1.5 s to frame 15 at +10.25 s is 11.75 s;
// - load: 7524 * 8 / 11,750,000 us = 0.0051227234..., six digits 0.00512272;
// - flows: 10.0.0.1:1234 <-> 10.0.0.2:80 (both ways) and 10.0.0.3:5555 -> 10.0.0.4:443 (one way only);
// - jumbo: only frame 8 (IP length 2000); frame 10 is longer but a fragment, frame 15 is exactly 1500.
TEST_F(SummaryTest, MixedCapture) {
    MixedCapture::write(tool.path(kCapture));

    const RunResult result = analyse(true);

    expectSuccess(result, MixedCapture::kCoverageNote);
    EXPECT_EQ(results.summary(),
              "Volume Measurements:\n"
              "TotalVolumeInB: 7524\n"
              "TrafficLoadInMbps: 0.00512272\n"
              "CaptureDuration: 00:00:11.750000\n"
              "TotalVolumeTCPInB: 3852\n"
              "NumberTCPFlows: 2\n"
              "\n"
              "Flow Measurements:\n"
              "NumberTCPFlowDuplicates: 0\n"
              "NumberTCPGapFlows: 0\n"
              "NumberTCPOutOfOrderFlows: 0\n"
              "NumberSimplexFlows: 1\n"
              "\n"
              "Packet Measurements:\n"
              "NumberJumboIPPackets: 1\n"
              "NumberIPFragments: 3\n"
              "NumberGapsInTCPFlows: 0\n"
              "NumberOutOfOrderTCPPackets: 0\n"
              "NumberTCPDuplicates: 0\n"
              "NumberOfTruncatedPackets: 1\n"
              "\n");
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"), "Packet Number,13\n");
    EXPECT_EQ(results.detail("NumberJumboIPPackets"),
              "Packet Number,8,Capture Time,2008-Mar-05 14:07:09.004000,IP Packet Length,2000\n");
    EXPECT_EQ(results.detail("NumberIPFragments"),
              "Packet Number,9,Capture Time,2008-Mar-05 14:07:10\n"
              "Packet Number,10,Capture Time,2008-Mar-05 14:07:10.000120\n"
              "Packet Number,11,Capture Time,2008-Mar-05 14:07:10.999999\n");
}

TEST_F(SummaryTest, WithoutExtendedOptionTheFiguresStayAndOnlyTruncatedFramesAreListed) {
    MixedCapture::write(tool.path(kCapture));

    const RunResult result = analyse(false);

    expectSuccess(result, MixedCapture::kCoverageNote);
    EXPECT_EQ(results.summaryValue("NumberJumboIPPackets"), "1");
    EXPECT_EQ(results.summaryValue("NumberIPFragments"), "3");
    EXPECT_EQ(results.summaryValue("NumberOfTruncatedPackets"), "1");
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"), "Packet Number,13\n");
}

// "-" names standard input: a capture piped in gives the same figures as the file itself.
TEST_F(SummaryTest, CaptureReadFromStandardInput) {
    MixedCapture::write(tool.path(kCapture));
    const RunResult fromFile = analyse(true);
    expectSuccess(fromFile, MixedCapture::kCoverageNote);
    const std::optional<std::string> expected = results.summary();
    const std::optional<std::string> expectedFragments = results.detail("NumberIPFragments");

    const RunResult piped =
        tool.runWrapped({"sh", "-c", R"(exec "$0" "$@" < in.pcap)"}, {"-e", "-i", "-", "-o", kPrefix});

    expectSuccess(piped, MixedCapture::kCoverageNote);
    EXPECT_EQ(results.summary(), expected);
    EXPECT_EQ(results.detail("NumberIPFragments"), expectedFragments);
}

// Three TCP segments of 60 captured bytes each claim 4,294,967,295 bytes on the wire (2^32 - 1):
// 3 * 4,294,967,295 = 12,884,901,885 bytes, all of them TCP; a 32-bit count would show 4,294,967,293.
// Load: 12,884,901,885 * 8 / 2,000,000 us = 51,539.607..., six digits 51539.6.
// Segments: IP length 46, so 6 data bytes each; sequence numbers 1, 7, 13 leave no gap.
TEST_F(SummaryTest, VolumeBeyondFourGibibytes) {
    constexpr std::uint32_t kWire = 4294967295U;
    TestCapture capture = newCapture();
    const std::array<std::uint32_t, 3> sequenceNumbers = {1, 7, 13};
    for (std::uint16_t i = 0; i < sequenceNumbers.size(); ++i) {
        const auto frame = FrameBuilder()
                               .ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2))
                               .ipIdentification(static_cast<std::uint16_t>(i + 1))
                               .tcp(1234, 80, sequenceNumbers[i])
                               .payload(6)
                               .build();
        capture.addRecord({kMarch2008 + i, 0}, frame, kWire);
    }
    capture.close();

    const RunResult result = analyse(true);

    expectQuietSuccess(result);
    EXPECT_EQ(results.summary(), (ExpectedSummary{.totalVolumeInB = 12884901885,
                                                  .trafficLoadInMbps = "51539.6",
                                                  .captureDuration = "00:00:02",
                                                  .totalVolumeTCPInB = 12884901885,
                                                  .numberTCPFlows = 1,
                                                  .numberSimplexFlows = 1,
                                                  .numberOfTruncatedPackets = 3}
                                      .text()));
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"),
              "Packet Number,1\nPacket Number,2\nPacket Number,3\n");
}

// Behind a VLAN tag the inner EtherType decides: a tagged frame that claims ARP (0x0806) there is not lifted,
// even though IPv4 and TCP headers follow. Only its 58 wire bytes count.
TEST_F(SummaryTest, TaggedFrameIsLiftedOnlyWhenTheTagCarriesIpv4) {
    auto frame =
        FrameBuilder().vlan(3).ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2)).tcp(1234, 80, 1).build();
    ASSERT_EQ(frame.size(), 58U);
    frame[16] = 0x08;
    frame[17] = 0x06;
    newCapture().add({kMarch2008, 0}, frame).close();

    const RunResult result = analyse();

    expectQuietSuccess(result);
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), "58");
    EXPECT_EQ(results.summaryValue("TotalVolumeTCPInB"), "0");
    EXPECT_EQ(results.summaryValue("NumberTCPFlows"), "0");
}

// Two records with no captured byte: the first is 0 bytes on the wire too, the second claims 60 and so is
// truncated. 60 bytes over 1 s: 480 / 1,000,000 = 0.00048.
TEST_F(SummaryTest, FramesOfNoBytes) {
    newCapture().addRecord({kMarch2008, 0}, {}, 0).addRecord({kMarch2008 + 1, 0}, {}, 60).close();

    const RunResult result = analyse(true);

    expectQuietSuccess(result);
    EXPECT_EQ(results.summary(), (ExpectedSummary{.totalVolumeInB = 60,
                                                  .trafficLoadInMbps = "0.00048",
                                                  .captureDuration = "00:00:01",
                                                  .numberOfTruncatedPackets = 1}
                                      .text()));
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"), "Packet Number,2\n");
}

TEST_F(SummaryTest, FramesOfNoBytesAtOneInstantGiveNoLoad) {
    // Zero bytes over zero microseconds.
    newCapture().addRecord({kMarch2008, 7}, {}, 0).addRecord({kMarch2008, 7}, {}, 0).close();

    const RunResult result = analyse();

    expectQuietSuccess(result);
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), "0");
    EXPECT_EQ(results.summaryValue("TrafficLoadInMbps"), "nan");
    EXPECT_EQ(results.summaryValue("NumberOfTruncatedPackets"), "0");
}

// One TCP frame of 60 bytes, all captured, but only 50 on the wire: truncated (the lengths differ) and
// counted with its wire length; its TCP header was captured, so it is a flow's only segment. One frame: a
// load of 400 bits over 0 us, infinite.
TEST_F(SummaryTest, FrameCapturedLongerThanOnTheWire) {
    const auto frame =
        FrameBuilder().ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2)).tcp(1234, 80, 1).payload(6).build();
    newCapture().addRecord({kMarch2008, 0}, frame, 50).close();

    const RunResult result = analyse(true);

    expectQuietSuccess(result);
    EXPECT_EQ(results.summary(), (ExpectedSummary{.totalVolumeInB = 50,
                                                  .trafficLoadInMbps = "inf",
                                                  .totalVolumeTCPInB = 50,
                                                  .numberTCPFlows = 1,
                                                  .numberSimplexFlows = 1,
                                                  .numberOfTruncatedPackets = 1}
                                      .text()));
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"), "Packet Number,1\n");
}

}  // namespace
}  // namespace korvo::e2e
