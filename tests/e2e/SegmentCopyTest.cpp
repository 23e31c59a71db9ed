// What counts as a copy of a segment, and the length of an offload packet whose IP total length is 0.

#include "e2e/FlowTest.h"

namespace korvo::e2e {
namespace {

class SegmentCopyTest : public FlowTest {
protected:
    const Endpoint client{address(10, 0, 0, 1), 1234};
    const Endpoint server{address(10, 0, 0, 2), 80};
    static constexpr const char* kConnection = "TCP 10.0.0.1:1234 -> 10.0.0.2:80";
};

// A client that writes 0 in every IP identification. Only #5, a copy of #4 in every field, is a repeat: #3
// and #4 share a sequence number but not a length, #7 and #9 a sequence number but not a length either.
//  #  time    direction  flags    seq   data  ack   id  bytes
//  1  +0      C->S       SYN      1000     0     0   0     54
//  2  +1000   S->C       SYN+ACK  5000     0  1001   1     54
//  3  +2000   C->S       ACK      1001     0  5001   0     54
//  4  +3000   C->S       ACK      1001   100  5001   0    154
//  5  +4000   the same frame as #4                         154  repeat
//  6  +5000   S->C       ACK      5001  1000  1101   2   1054
//  7  +6000   C->S       ACK      1101     0  6001   0     54
//  8  +7000   S->C       FIN+ACK  6001     0  1101   3     54
//  9  +7500   C->S       FIN+ACK  1101     0  6002   0     54
// 10  +8000   S->C       ACK      6002     0  1102   4     54
// Bytes: 7 * 54 + 2 * 154 + 1054 = 1740 over 8 ms: 1.74.
TEST_F(SegmentCopyTest, SenderWithoutIdentifications) {
    const auto copied = segment(client, server, 1001, 0, kAck, 5001).payload(100).build();
    newCapture()
        .add(at(0), segment(client, server, 1000, 0, kSyn).build())
        .add(at(1000), segment(server, client, 5000, 1, kSyn | kAck, 1001).build())
        .add(at(2000), segment(client, server, 1001, 0, kAck, 5001).build())
        .add(at(3000), copied)
        .add(at(4000), copied)
        .add(at(5000), segment(server, client, 5001, 2, kAck, 1101).payload(1000).build())
        .add(at(6000), segment(client, server, 1101, 0, kAck, 6001).build())
        .add(at(7000), segment(server, client, 6001, 3, kFin | kAck, 1101).build())
        .add(at(7500), segment(client, server, 1101, 0, kFin | kAck, 6002).build())
        .add(at(8000), segment(server, client, 6002, 4, kAck, 1102).build())
        .close();

    expectResults(
        {.totalVolumeInB = 1740,
         .trafficLoadInMbps = "1.74",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 1740,
         .numberTCPFlows = 1,
         .numberTCPFlowDuplicates = 1,
         .numberTCPDuplicates = 1},
        {{"NumberTCPFlows", std::string(kConnection) + "\n"},
         {"NumberTCPDuplicates",
          "Packet Number,5,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,1001\n"},
         {"NumberTCPFlowDuplicates", "Tuple," + std::string(kConnection) + ",Number Of Duplicates,1\n"}});
}

// 70,000 segments of 10 bytes, 1 µs apart, from one sender whose identifications wrap at 65,536, then a copy
// of segment 65,000, 5 ms after it: the one repeat, and late, so also the one out-of-order segment.
TEST_F(SegmentCopyTest, IdentificationsThatWrap) {
    constexpr std::uint32_t kSegments = 70000;
    constexpr std::uint32_t kCopied = 65000;
    TestCapture capture = newCapture();
    const auto frame = [this](std::uint32_t index) {
        return segment(client, server, 1000 + 10 * index, static_cast<std::uint16_t>(index))
            .payload(10)
            .build();
    };
    for (std::uint32_t index = 0; index < kSegments; ++index) {
        capture.add(at(index), frame(index));
    }
    capture.add(at(kSegments), frame(kCopied));
    capture.close();

    EXPECT_EQ(analyse(true).exitStatus, 0);
    EXPECT_EQ(results.summaryValue("NumberTCPDuplicates"), "1");
    EXPECT_EQ(results.summaryValue("NumberGapsInTCPFlows"), "0");
    EXPECT_EQ(results.summaryValue("NumberOutOfOrderTCPPackets"), "1");
    EXPECT_EQ(results.detail("NumberTCPDuplicates"),
              "Packet Number,70001,Capture Time,2008-Mar-05 14:07:09.070000,Sequence Number,651000\n");
}

// Segmentation offload: the capture saw a 64,000-byte segment before the card cut it up, and its IP total
// length reads 0. Its length is then the frame's 64,054 wire bytes less the 14-byte Ethernet header, 64,040:
// a jumbo packet whose 64,000 data bytes reach exactly the next segment, so no hole.
//  #  time    flags    seq    data   IP length  bytes
//  1  +0      SYN      1000       0         40     54
//  2  +1000   ACK      1001   64000          0  64054
//  3  +2000   ACK     65001     100        140    154
//  4  +8000   FIN+ACK 65101       0         40     54
// Bytes: 64316 over 8 ms: 514528 / 8000 = 64.316.
TEST_F(SegmentCopyTest, OffloadPacketWithoutATotalLength) {
    newCapture()
        .add(at(0), segment(client, server, 1000, 1, kSyn).build())
        .add(at(1000), segment(client, server, 1001, 2).payload(64000).ipTotalLength(0).build())
        .add(at(2000), segment(client, server, 65001, 3).payload(100).build())
        .add(at(8000), segment(client, server, 65101, 4, kFin | kAck).build())
        .close();

    expectResults(
        {.totalVolumeInB = 64316,
         .trafficLoadInMbps = "64.316",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 64316,
         .numberTCPFlows = 1,
         .numberSimplexFlows = 1,
         .numberJumboIPPackets = 1},
        {{"NumberTCPFlows", std::string(kConnection) + "\n"},
         {"NumberJumboIPPackets",
          "Packet Number,2,Capture Time,2008-Mar-05 14:07:09.001000,IP Packet Length,64040\n"},
         {"NumberSimplexFlows", "Simplex Flow Tuple," + std::string(kConnection) + ",number Packets,4\n"}});
}

}  // namespace
}  // namespace korvo::e2e
