// Frames captured too short for the header that a level needs: they count at the frame level only, and
// nothing is read past the captured bytes.

#include "e2e/ToolTest.h"

namespace korvo::e2e {
namespace {

using tools::FrameBuilder;

class ShortFrameTest : public ToolTest {};

// Frames 2 to 5 and 7 and 8 follow a complete copy of themselves, so that bytes read past the captured end
// would still look like a whole packet (the capture library reuses one buffer) and would be counted.
//
//  #  time                         wire  captured  frame                                       reaches
//  1  2023-Dec-31 23:59:59.996000  2014  all       TCP 10.0.0.1:1111 -> 10.0.0.2:2222, IP 2000  TCP, jumbo
//  2  .997000                      2014  13        the same                                     frames only
//  3  .998000                      2014  14        the same                                     frames only
//  4  .999000                      2014  33        the same                                     frames only
//  5  2024-Jan-01 00:00:00         2014  34        the same                                     IP: jumbo
//  6  00:00:00.001000              2018  all       VLAN 5, TCP 10.0.0.3:3333 -> .4:4444, IP 2000  TCP, jumbo
//  7  .002000                      2018  37        the same                                     frames only
//  8  .003000                      2018  38        the same                                     IP: jumbo
//  9  .004000                        60  57        IHL 6, TCP 10.0.0.5:5555 -> .6:6666, 2 data  IP only
// 10  .005000                        60  58        the same                                     TCP
// 11  .006000                       142  33        UDP fragment 10.0.0.7 -> 10.0.0.8            frames only
// 12  .007000                       142  34        the same                                     IP: fragment
//
// Volume: 5 * 2014 + 3 * 2018 + 2 * 60 + 2 * 142 = 16528 bytes over 0.011 s (frame 1 to frame 12):
// 132,224 bits / 11,000 us = 12.02036..., six digits 12.0204. TCP: frames 1, 6 and 10, 2014 + 2018 + 60 =
// 4092, one flow each, each seen one way only. Jumbo: frames 1, 5, 6, 8. Fragments: frame 12. Truncated: all
// but 1 and 6.
void writeShortFrameCapture(const std::filesystem::path& path) {
    const auto untagged = FrameBuilder()
                              .ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2))
                              .ipIdentification(1)
                              .tcp(1111, 2222, 100)
                              .payload(1960)
                              .build();
    const auto tagged = FrameBuilder()
                            .vlan(5)
                            .ipv4(address(10, 0, 0, 3), address(10, 0, 0, 4))
                            .ipIdentification(1)
                            .tcp(3333, 4444, 500)
                            .payload(1960)
                            .build();
    const auto withOptions = FrameBuilder()
                                 .ipv4(address(10, 0, 0, 5), address(10, 0, 0, 6))
                                 .ipHeaderWords(6)
                                 .ipIdentification(1)
                                 .tcp(5555, 6666, 900)
                                 .payload(2)
                                 .build();
    const auto fragment = FrameBuilder()
                              .ipv4(address(10, 0, 0, 7), address(10, 0, 0, 8))
                              .ipIdentification(9)
                              .udp(7, 8)
                              .ipFlagsAndOffset(0x2000)
                              .payload(100)
                              .build();
    const std::uint32_t eve = kNewYearsEve2023;
    TestCapture(path)
        .add({eve, 996000}, untagged)
        .addCut({eve, 997000}, untagged, 13)
        .addCut({eve, 998000}, untagged, 14)
        .addCut({eve, 999000}, untagged, 33)
        .addCut({eve + 1, 0}, untagged, 34)
        .add({eve + 1, 1000}, tagged)
        .addCut({eve + 1, 2000}, tagged, 37)
        .addCut({eve + 1, 3000}, tagged, 38)
        .addCut({eve + 1, 4000}, withOptions, 57)
        .addCut({eve + 1, 5000}, withOptions, 58)
        .addCut({eve + 1, 6000}, fragment, 33)
        .addCut({eve + 1, 7000}, fragment, 34)
        .close();
}

TEST_F(ShortFrameTest, CountsOnlyWhatWasCaptured) {
    writeShortFrameCapture(tool.path(kCapture));

    const RunResult result = analyse(true);

    expectQuietSuccess(result);
    EXPECT_EQ(results.summary(),
              "Volume Measurements:\n"
              "TotalVolumeInB: 16528\n"
              "TrafficLoadInMbps: 12.0204\n"
              "CaptureDuration: 00:00:00.011000\n"
              "TotalVolumeTCPInB: 4092\n"
              "NumberTCPFlows: 3\n"
              "\n"
              "Flow Measurements:\n"
              "NumberTCPFlowDuplicates: 0\n"
              "NumberTCPGapFlows: 0\n"
              "NumberTCPOutOfOrderFlows: 0\n"
              "NumberSimplexFlows: 3\n"
              "\n"
              "Packet Measurements:\n"
              "NumberJumboIPPackets: 4\n"
              "NumberIPFragments: 1\n"
              "NumberGapsInTCPFlows: 0\n"
              "NumberOutOfOrderTCPPackets: 0\n"
              "NumberTCPDuplicates: 0\n"
              "NumberOfTruncatedPackets: 10\n"
              "\n");
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"),
              "Packet Number,2\nPacket Number,3\nPacket Number,4\nPacket Number,5\nPacket Number,7\n"
              "Packet Number,8\nPacket Number,9\nPacket Number,10\nPacket Number,11\nPacket Number,12\n");
    EXPECT_EQ(results.detail("NumberJumboIPPackets"),
              "Packet Number,1,Capture Time,2023-Dec-31 23:59:59.996000,IP Packet Length,2000\n"
              "Packet Number,5,Capture Time,2024-Jan-01 00:00:00,IP Packet Length,2000\n"
              "Packet Number,6,Capture Time,2024-Jan-01 00:00:00.001000,IP Packet Length,2000\n"
              "Packet Number,8,Capture Time,2024-Jan-01 00:00:00.003000,IP Packet Length,2000\n");
    EXPECT_EQ(results.detail("NumberIPFragments"),
              "Packet Number,12,Capture Time,2024-Jan-01 00:00:00.007000\n");
}

}  // namespace
}  // namespace korvo::e2e
