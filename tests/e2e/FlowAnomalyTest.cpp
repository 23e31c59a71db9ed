// Gaps, out-of-order segments and repeats within one connection, as the six anomaly figures and their detail
// rows report them.
//
// A segment's length, as the flow figures count it, is its IP payload: the 20-byte TCP header plus its data.
// So a segment of d data bytes at sequence number s reaches s + 20 + d, and a hole is reported only when more
// than 20 sequence numbers are missing after the segment that reached furthest; its size is the numbers
// missing minus 20.

#include "e2e/FlowTest.h"

namespace korvo::e2e {
namespace {

// In the frame tables below, C is the client 10.0.0.1:1234 and S the server 10.0.0.2:80; times are
// microseconds after 2008-03-05 14:07:09, and identifications are the numbers the sender writes, in network
// order.
class FlowAnomalyTest : public FlowTest {
protected:
    const Endpoint client{address(10, 0, 0, 1), 1234};
    const Endpoint server{address(10, 0, 0, 2), 80};
    static constexpr const char* kConnection = "TCP 10.0.0.1:1234 -> 10.0.0.2:80";
};

//  #  time    direction  flags    seq   data  id  bytes
//  1  +0      C->S       SYN      1000     0   1     54
//  2  +1000   S->C       SYN+ACK  5000     0   1     54
//  3  +2000   C->S       ACK      1001     0   2     54
//  4  +3000   C->S       ACK      1001   100   3    154
//  5  +4000   S->C       ACK      5001   300   2    354
//  6  +5000   C->S       ACK      1101   100   4    154
//  7  +6000   S->C       ACK      5301     0   3     54
//  8  +7000   C->S       FIN+ACK  1201     0   5     54
//  9  +7500   S->C       FIN+ACK  5301     0   4     54
// 10  +8000   C->S       ACK      1202     0   6     54
// Client side in sequence order 1000, 1001 (#4), 1001 (#3), 1101, 1201, 1202: each starts at or before the
// end of what came before (1020, 1121, 1121, 1221, 1221), no hole; captured in ascending order, each sequence
// number at least the last one, so nothing is out of order. Server side 5000, 5001, 5301, 5301: ends 5020,
// 5321, no hole, none out of order. Identifications are distinct within each direction; the same
// identification in both directions (1 to 4) is no repeat.
// Bytes: 7 * 54 + 2 * 154 + 354 = 1040, all TCP, over 8 ms: 8320 bits / 8000 us = 1.04.
TEST_F(FlowAnomalyTest, CleanConnection) {
    newCapture()
        .add(at(0), segment(client, server, 1000, 1, kSyn).build())
        .add(at(1000), segment(server, client, 5000, 1, kSyn | kAck).build())
        .add(at(2000), segment(client, server, 1001, 2).build())
        .add(at(3000), segment(client, server, 1001, 3).payload(100).build())
        .add(at(4000), segment(server, client, 5001, 2).payload(300).build())
        .add(at(5000), segment(client, server, 1101, 4).payload(100).build())
        .add(at(6000), segment(server, client, 5301, 3).build())
        .add(at(7000), segment(client, server, 1201, 5, kFin | kAck).build())
        .add(at(7500), segment(server, client, 5301, 4, kFin | kAck).build())
        .add(at(8000), segment(client, server, 1202, 6).build())
        .close();

    expectResults({.totalVolumeInB = 1040,
                   .trafficLoadInMbps = "1.04",
                   .captureDuration = "00:00:00.008000",
                   .totalVolumeTCPInB = 1040,
                   .numberTCPFlows = 1},
                  {{"NumberTCPFlows", std::string(kConnection) + "\n"}});
}

//  #  time    direction  flags    seq   data  id  bytes  reaches
//  1  +0      C->S       SYN      1000     0   1     54  1020
//  2  +1000   S->C       SYN+ACK  5000     0   1     54
//  3  +2000   C->S       ACK      1001   100   2    154  1121
//     lost    C->S                1101   100   3         (100 numbers missing: a hole of 100 - 20 = 80)
//  4  +3000   C->S       ACK      1201   100   4    154  1321
//  5  +4000   C->S       ACK      1301    20   5     74  1341
//     lost    C->S                1321    20   6         (20 missing: 1341 starts at 1341, no hole)
//  6  +5000   C->S       ACK      1341    21   7     75  1382
//     lost    C->S                1362    21   8         (21 missing: 1383 > 1382, a hole of 1)
//  7  +6000   C->S       ACK      1383    10   9     64  1413
//  8  +7000   S->C       ACK      5001     0   2     54
//  9  +8000   C->S       FIN+ACK  1393     0  10     54
// Hole sizes: 1201 - 1001 - 120 = 80 and 1383 - 1341 - 41 = 1.
// Bytes: 4 * 54 + 2 * 154 + 74 + 75 + 64 = 737 over 8 ms: 5896 / 8000 = 0.737.
TEST_F(FlowAnomalyTest, LostSegments) {
    newCapture()
        .add(at(0), segment(client, server, 1000, 1, kSyn).build())
        .add(at(1000), segment(server, client, 5000, 1, kSyn | kAck).build())
        .add(at(2000), segment(client, server, 1001, 2).payload(100).build())
        .add(at(3000), segment(client, server, 1201, 4).payload(100).build())
        .add(at(4000), segment(client, server, 1301, 5).payload(20).build())
        .add(at(5000), segment(client, server, 1341, 7).payload(21).build())
        .add(at(6000), segment(client, server, 1383, 9).payload(10).build())
        .add(at(7000), segment(server, client, 5001, 2).build())
        .add(at(8000), segment(client, server, 1393, 10, kFin | kAck).build())
        .close();

    expectResults(
        {.totalVolumeInB = 737,
         .trafficLoadInMbps = "0.737",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 737,
         .numberTCPFlows = 1,
         .numberTCPGapFlows = 1,
         .numberGapsInTCPFlows = 2},
        {{"NumberTCPFlows", std::string(kConnection) + "\n"},
         {"NumberGapsInTCPFlows",
          "PreGapPacketID,3,Capture Time,2008-Mar-05 14:07:09.002000,Sequence Number,1001,"
          "PostGapPacketID,4,Capture Time,2008-Mar-05 14:07:09.003000,Sequence Number,1201,Gap Size,80\n"
          "PreGapPacketID,6,Capture Time,2008-Mar-05 14:07:09.005000,Sequence Number,1341,"
          "PostGapPacketID,7,Capture Time,2008-Mar-05 14:07:09.006000,Sequence Number,1383,Gap Size,1\n"},
         {"NumberTCPGapFlows", "Tuple," + std::string(kConnection) + ",Number of Gaps,2\n"}});
}

//  #  time    direction  flags    seq   data  id  bytes
//  1  +0      C->S       SYN      1000     0   1     54
//  2  +1000   S->C       SYN+ACK  7000     0   1     54
//  3  +2000   C->S       ACK      1001   100   2    154
//  4  +3000   C->S       ACK      1401   100   3    154
//  5  +4000   C->S       ACK      1301   100   4    154  below 1401: out of order
//  6  +5000   C->S       ACK      1101   100   5    154  below 1401: out of order
//  7  +6000   C->S       ACK      1201   100   6    154  below 1401: out of order
//  8  +7000   C->S       FIN+ACK  1501     0   7     54
//  9  +8000   S->C       ACK      7001     0   2     54
// The rows follow the capture order (1301, 1101, 1201), not the sequence order. In sequence order the client
// side is contiguous (1001 + 120 = 1121 reaches past 1101, and so on), so there is no hole.
// Bytes: 4 * 54 + 5 * 154 = 986 over 8 ms: 0.986.
TEST_F(FlowAnomalyTest, ReorderedSegments) {
    newCapture()
        .add(at(0), segment(client, server, 1000, 1, kSyn).build())
        .add(at(1000), segment(server, client, 7000, 1, kSyn | kAck).build())
        .add(at(2000), segment(client, server, 1001, 2).payload(100).build())
        .add(at(3000), segment(client, server, 1401, 3).payload(100).build())
        .add(at(4000), segment(client, server, 1301, 4).payload(100).build())
        .add(at(5000), segment(client, server, 1101, 5).payload(100).build())
        .add(at(6000), segment(client, server, 1201, 6).payload(100).build())
        .add(at(7000), segment(client, server, 1501, 7, kFin | kAck).build())
        .add(at(8000), segment(server, client, 7001, 2).build())
        .close();

    expectResults({.totalVolumeInB = 986,
                   .trafficLoadInMbps = "0.986",
                   .captureDuration = "00:00:00.008000",
                   .totalVolumeTCPInB = 986,
                   .numberTCPFlows = 1,
                   .numberTCPOutOfOrderFlows = 1,
                   .numberOutOfOrderTCPPackets = 3},
                  {{"NumberTCPFlows", std::string(kConnection) + "\n"},
                   {"NumberOutOfOrderTCPPackets",
                    "Packet Number,5,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,1301\n"
                    "Packet Number,6,Capture Time,2008-Mar-05 14:07:09.005000,Sequence Number,1101\n"
                    "Packet Number,7,Capture Time,2008-Mar-05 14:07:09.006000,Sequence Number,1201\n"},
                   {"NumberTCPOutOfOrderFlows",
                    "Tuple," + std::string(kConnection) + ",Number Out Of Order Packets,3\n"}});
}

//  #  time    direction  flags    seq   data  id  bytes
//  1  +0      C->S       SYN      1000     0   1     54
//  2  +1000   S->C       SYN+ACK  5000     0   1     54
//  3  +2000   C->S       ACK      1001   100   2    154
//  4  +3000   the same frame as #3, captured again     154  a repeat of identification 2
//  5  +4000   C->S       ACK      1101   100   3    154
//  6  +8000   S->C       ACK      5001     0   2     54
// The copy has the sequence number of the furthest segment so far, so it is not out of order, and it lies
// inside what #3 covers, so it opens no hole.
// Bytes: 3 * 54 + 3 * 154 = 624 over 8 ms: 0.624.
TEST_F(FlowAnomalyTest, FrameCapturedTwice) {
    const auto twice = segment(client, server, 1001, 2).payload(100).build();
    newCapture()
        .add(at(0), segment(client, server, 1000, 1, kSyn).build())
        .add(at(1000), segment(server, client, 5000, 1, kSyn | kAck).build())
        .add(at(2000), twice)
        .add(at(3000), twice)
        .add(at(4000), segment(client, server, 1101, 3).payload(100).build())
        .add(at(8000), segment(server, client, 5001, 2).build())
        .close();

    expectResults(
        {.totalVolumeInB = 624,
         .trafficLoadInMbps = "0.624",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 624,
         .numberTCPFlows = 1,
         .numberTCPFlowDuplicates = 1,
         .numberTCPDuplicates = 1},
        {{"NumberTCPFlows", std::string(kConnection) + "\n"},
         {"NumberTCPDuplicates",
          "Packet Number,4,Capture Time,2008-Mar-05 14:07:09.003000,Sequence Number,1001\n"},
         {"NumberTCPFlowDuplicates", "Tuple," + std::string(kConnection) + ",Number Of Duplicates,1\n"}});
}

// Six pure acknowledgements from the client only, each starting where the one before ends (20 apart), with
// the identifications 1, 256, 1, 256, 0, 0 as the sender numbers them, sent in network order. Read as stored,
// byte 4 plus 256 times byte 5, they are the keys 256, 1, 256, 1, 0, 0. Repeats by key in ascending key
// order: key 0 (#6), key 1 (#4), key 256 (#3). Numbered in host order the rows would come as #6, #3, #4.
//  #  time    seq   id   key
//  1  +0      1000    1  256
//  2  +1600   1020  256    1
//  3  +3200   1040    1  256  repeat
//  4  +4800   1060  256    1  repeat
//  5  +6400   1080    0    0
//  6  +8000   1100    0    0  repeat
// Bytes: 6 * 54 = 324 over 8 ms: 0.324. One direction only: a simplex flow of 6 packets.
TEST_F(FlowAnomalyTest, RepeatsFollowTheIdentificationAsStored) {
    const std::uint16_t identifications[] = {1, 256, 1, 256, 0, 0};
    TestCapture capture = newCapture();
    for (std::uint16_t i = 0; i < 6; ++i) {
        capture.add(at(1600U * i), segment(client, server, 1000U + 20U * i, identifications[i]).build());
    }
    capture.close();

    expectResults(
        {.totalVolumeInB = 324,
         .trafficLoadInMbps = "0.324",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 324,
         .numberTCPFlows = 1,
         .numberTCPFlowDuplicates = 1,
         .numberSimplexFlows = 1,
         .numberTCPDuplicates = 3},
        {{"NumberTCPFlows", std::string(kConnection) + "\n"},
         {"NumberTCPDuplicates",
          "Packet Number,6,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,1100\n"
          "Packet Number,4,Capture Time,2008-Mar-05 14:07:09.004800,Sequence Number,1060\n"
          "Packet Number,3,Capture Time,2008-Mar-05 14:07:09.003200,Sequence Number,1040\n"},
         {"NumberTCPFlowDuplicates", "Tuple," + std::string(kConnection) + ",Number Of Duplicates,3\n"},
         {"NumberSimplexFlows", "Simplex Flow Tuple," + std::string(kConnection) + ",number Packets,6\n"}});
}

//  #  time    direction  flags    seq   data  id  bytes
//  1  +0      C->S       SYN      1000     0   1     54
//  2  +1000   S->C       SYN+ACK  5000     0   1     54
//  3  +2000   C->S       ACK      1001   100   2    154
//  4  +3000   C->S       ACK      1101   100   3    154
//  5  +4000   C->S       ACK      1201   100   4    154
//  6  +5000   S->C       ACK      5001     0   2     54
//  7  +6000   C->S       ACK      1101   100   5    154  retransmission of #4 after #5: out of order
//  8  +8000   C->S       ACK      1301   100   6    154
// The retransmission carries a new identification, so it is no repeat.
// Bytes: 3 * 54 + 5 * 154 = 932 over 8 ms: 0.932.
TEST_F(FlowAnomalyTest, RetransmissionWithANewIdentification) {
    newCapture()
        .add(at(0), segment(client, server, 1000, 1, kSyn).build())
        .add(at(1000), segment(server, client, 5000, 1, kSyn | kAck).build())
        .add(at(2000), segment(client, server, 1001, 2).payload(100).build())
        .add(at(3000), segment(client, server, 1101, 3).payload(100).build())
        .add(at(4000), segment(client, server, 1201, 4).payload(100).build())
        .add(at(5000), segment(server, client, 5001, 2).build())
        .add(at(6000), segment(client, server, 1101, 5).payload(100).build())
        .add(at(8000), segment(client, server, 1301, 6).payload(100).build())
        .close();

    expectResults({.totalVolumeInB = 932,
                   .trafficLoadInMbps = "0.932",
                   .captureDuration = "00:00:00.008000",
                   .totalVolumeTCPInB = 932,
                   .numberTCPFlows = 1,
                   .numberTCPOutOfOrderFlows = 1,
                   .numberOutOfOrderTCPPackets = 1},
                  {{"NumberTCPFlows", std::string(kConnection) + "\n"},
                   {"NumberOutOfOrderTCPPackets",
                    "Packet Number,7,Capture Time,2008-Mar-05 14:07:09.006000,Sequence Number,1101\n"},
                   {"NumberTCPOutOfOrderFlows",
                    "Tuple," + std::string(kConnection) + ",Number Out Of Order Packets,1\n"}});
}

// The server's anomalies are all captured before the client's, yet each detail file lists the client's (the
// first packet's direction) first.
//  #  time    direction  flags    seq   data  id  bytes
//  1  +0      C->S       SYN      1000     0   1     54
//  2  +500    S->C       SYN+ACK  5000     0   1     54
//  3  +1000   C->S       ACK      1001     0   2     54
//  4  +1500   S->C       ACK      5001   100   2    154
//     lost    S->C                5101   100
//  5  +2000   S->C       ACK      5201   100   3    154
//  6  +2500   the same frame as #5                    154  repeat
//  7  +3000   S->C       ACK      5401   100   4    154
//  8  +3500   S->C       ACK      5301   100   5    154  below 5401: out of order
//  9  +4000   C->S       ACK      1001   100   3    154
//     lost    C->S                1101   100
// 10  +4500   C->S       ACK      1201   100   4    154
// 11  +5000   C->S       ACK      1401   100   5    154
// 12  +5500   the same frame as #11                   154  repeat
// 13  +6000   C->S       ACK      1301   100   6    154  below 1401: out of order
// 14  +8000   S->C       ACK      5501     0   6     54
// Client side in sequence order: 1000, 1001 (#9, the later of two equal numbers first), 1001 (#3), 1201,
// 1301, 1401 (#12), 1401 (#11). #9 reaches 1121, the furthest before the hole: 1201 - 1001 - 120 = 80.
// Server side: 5000, 5001, 5201 (#6), 5201 (#5), 5301, 5401, 5501. #4 reaches 5121; the first segment after
// the hole is #6, the copy, which stands before #5: 5201 - 5001 - 120 = 80.
// Bytes: 4 * 54 + 10 * 154 = 1756 over 8 ms: 1.756.
TEST_F(FlowAnomalyTest, AnomaliesInBothDirections) {
    const auto serverTwice = segment(server, client, 5201, 3).payload(100).build();
    const auto clientTwice = segment(client, server, 1401, 5).payload(100).build();
    newCapture()
        .add(at(0), segment(client, server, 1000, 1, kSyn).build())
        .add(at(500), segment(server, client, 5000, 1, kSyn | kAck).build())
        .add(at(1000), segment(client, server, 1001, 2).build())
        .add(at(1500), segment(server, client, 5001, 2).payload(100).build())
        .add(at(2000), serverTwice)
        .add(at(2500), serverTwice)
        .add(at(3000), segment(server, client, 5401, 4).payload(100).build())
        .add(at(3500), segment(server, client, 5301, 5).payload(100).build())
        .add(at(4000), segment(client, server, 1001, 3).payload(100).build())
        .add(at(4500), segment(client, server, 1201, 4).payload(100).build())
        .add(at(5000), clientTwice)
        .add(at(5500), clientTwice)
        .add(at(6000), segment(client, server, 1301, 6).payload(100).build())
        .add(at(8000), segment(server, client, 5501, 6).build())
        .close();

    const std::string tuple = "Tuple," + std::string(kConnection);
    expectResults(
        {.totalVolumeInB = 1756,
         .trafficLoadInMbps = "1.756",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 1756,
         .numberTCPFlows = 1,
         .numberTCPFlowDuplicates = 1,
         .numberTCPGapFlows = 1,
         .numberTCPOutOfOrderFlows = 1,
         .numberGapsInTCPFlows = 2,
         .numberOutOfOrderTCPPackets = 2,
         .numberTCPDuplicates = 2},
        {{"NumberTCPFlows", std::string(kConnection) + "\n"},
         {"NumberGapsInTCPFlows",
          "PreGapPacketID,9,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,1001,"
          "PostGapPacketID,10,Capture Time,2008-Mar-05 14:07:09.004500,Sequence Number,1201,Gap Size,80\n"
          "PreGapPacketID,4,Capture Time,2008-Mar-05 14:07:09.001500,Sequence Number,5001,"
          "PostGapPacketID,6,Capture Time,2008-Mar-05 14:07:09.002500,Sequence Number,5201,Gap Size,80\n"},
         {"NumberOutOfOrderTCPPackets",
          "Packet Number,13,Capture Time,2008-Mar-05 14:07:09.006000,Sequence Number,1301\n"
          "Packet Number,8,Capture Time,2008-Mar-05 14:07:09.003500,Sequence Number,5301\n"},
         {"NumberTCPDuplicates",
          "Packet Number,12,Capture Time,2008-Mar-05 14:07:09.005500,Sequence Number,1401\n"
          "Packet Number,6,Capture Time,2008-Mar-05 14:07:09.002500,Sequence Number,5201\n"},
         {"NumberTCPGapFlows", tuple + ",Number of Gaps,2\n"},
         {"NumberTCPOutOfOrderFlows", tuple + ",Number Out Of Order Packets,2\n"},
         {"NumberTCPFlowDuplicates", tuple + ",Number Of Duplicates,2\n"}});
}

// Sequence numbers are ordered by their distance from 3000 below the first one captured in the direction:
// up to 3000 below it they sort before it, further below they wrap to the largest distances and sort last.
// Out-of-order segments are measured from 3000 below the first number in that order, which need not be the
// first one captured. Two one-way flows, both from 10.0.0.1 to 10.0.0.2:
// - ports 2001 -> 81, segments of 1440 data bytes (reaching 1460 on): captured 10000, 5000, 11460, 12920.
//   Distances from 7000: 3000, 2^32 - 2000, 4460, 5920, so the sequence order is 10000, 11460, 12920, 5000:
//   contiguous, and 5000 < 14380 lies inside. In capture order 5000 is the furthest so far, so 11460 (#6)
//   and 12920 (#8) are out of order.
// - ports 2002 -> 82, pure acknowledgements: captured 10000, 7000, 1000, 5000. Distances from 7000: 3000, 0,
//   2^32 - 6000, 2^32 - 2000: sequence order 7000, 10000, 1000, 5000. 7000 reaches 7020, so 10000 opens a
//   hole of 10000 - 7000 - 20 = 2980; 1000 and 5000 lie inside. Measured from 7000 - 3000 = 4000 the
//   distances in capture order are 6000, 3000 (#3 out of order), 2^32 - 3000 (the furthest so far), 1000
//   (#7 out of order).
// Hash order: 10.0.0.1 and 10.0.0.2 as stored contribute 16777226 + 33554442, protocol 6; ports as stored
// (2001 = 0x07D1 counts 0x07 + 256 * 0xD1): 2001 -> 53511, 81 -> 20736, 2002 -> 53767, 82 -> 20992. Hashes
// 50405921 and 50406433: the 2001 flow comes first although it was seen second.
//  #  time    flow    seq    data  id  bytes
//  1  +0      2002    10000     0   1     54
//  2  +1000   2001    10000  1440   1   1494
//  3  +2000   2002     7000     0   2     54
//  4  +3000   2001     5000  1440   2   1494
//  5  +4000   2002     1000     0   3     54
//  6  +5000   2001    11460  1440   3   1494
//  7  +6000   2002     5000     0   4     54
//  8  +8000   2001    12920  1440   4   1494
// Bytes: 4 * 54 + 4 * 1494 = 6192 over 8 ms: 49536 / 8000 = 6.192.
TEST_F(FlowAnomalyTest, OrderingMarginBelowTheFirstSequenceNumber) {
    const Endpoint first{address(10, 0, 0, 1), 2001};
    const Endpoint second{address(10, 0, 0, 1), 2002};
    const Endpoint firstPeer{address(10, 0, 0, 2), 81};
    const Endpoint secondPeer{address(10, 0, 0, 2), 82};
    newCapture()
        .add(at(0), segment(second, secondPeer, 10000, 1).build())
        .add(at(1000), segment(first, firstPeer, 10000, 1).payload(1440).build())
        .add(at(2000), segment(second, secondPeer, 7000, 2).build())
        .add(at(3000), segment(first, firstPeer, 5000, 2).payload(1440).build())
        .add(at(4000), segment(second, secondPeer, 1000, 3).build())
        .add(at(5000), segment(first, firstPeer, 11460, 3).payload(1440).build())
        .add(at(6000), segment(second, secondPeer, 5000, 4).build())
        .add(at(8000), segment(first, firstPeer, 12920, 4).payload(1440).build())
        .close();

    expectResults(
        {.totalVolumeInB = 6192,
         .trafficLoadInMbps = "6.192",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 6192,
         .numberTCPFlows = 2,
         .numberTCPGapFlows = 1,
         .numberTCPOutOfOrderFlows = 2,
         .numberSimplexFlows = 2,
         .numberGapsInTCPFlows = 1,
         .numberOutOfOrderTCPPackets = 4},
        {{"NumberTCPFlows", "TCP 10.0.0.1:2001 -> 10.0.0.2:81\nTCP 10.0.0.1:2002 -> 10.0.0.2:82\n"},
         {"NumberGapsInTCPFlows",
          "PreGapPacketID,3,Capture Time,2008-Mar-05 14:07:09.002000,Sequence Number,7000,"
          "PostGapPacketID,1,Capture Time,2008-Mar-05 14:07:09,Sequence Number,10000,Gap Size,2980\n"},
         {"NumberTCPGapFlows", "Tuple,TCP 10.0.0.1:2002 -> 10.0.0.2:82,Number of Gaps,1\n"},
         {"NumberOutOfOrderTCPPackets",
          "Packet Number,6,Capture Time,2008-Mar-05 14:07:09.005000,Sequence Number,11460\n"
          "Packet Number,8,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,12920\n"
          "Packet Number,3,Capture Time,2008-Mar-05 14:07:09.002000,Sequence Number,7000\n"
          "Packet Number,7,Capture Time,2008-Mar-05 14:07:09.006000,Sequence Number,5000\n"},
         {"NumberTCPOutOfOrderFlows",
          "Tuple,TCP 10.0.0.1:2001 -> 10.0.0.2:81,Number Out Of Order Packets,2\n"
          "Tuple,TCP 10.0.0.1:2002 -> 10.0.0.2:82,Number Out Of Order Packets,2\n"},
         {"NumberSimplexFlows",
          "Simplex Flow Tuple,TCP 10.0.0.1:2001 -> 10.0.0.2:81,number Packets,4\n"
          "Simplex Flow Tuple,TCP 10.0.0.1:2002 -> 10.0.0.2:82,number Packets,4\n"}});
}

// Where a segment is a hole's start or inside what came before is decided on the raw 32-bit numbers, also
// where they pass 2^32 = 4294967296. Two one-way flows:
// - 10.0.0.1:1234 -> 10.0.0.2:80. #1 reaches 4294967120. #2 at 4294967120 reaches 4294967340 - 2^32 = 44,
//   which is not above 4294967120, so the covered end stays. #3 at 24 and #4 at 324 (after a lost segment
//   of 200 data bytes at 124) both lie below 4294967120: no hole. Measured from 4294967000 - 3000 the
//   distances are 3000, 3120, 3320, 3620: none out of order.
// - 10.0.0.3:3333 -> 10.0.0.4:4444. #5 reaches 4294967320 - 2^32 = 24. #6 at 4294967250, inside #5 in truth,
//   is above 24: a hole of 4294967250 - 4294967200 - 120 modulo 2^32 = 4294967226.
//  #  time    flow           seq         data  id  bytes
//  1  +0      1234 -> 80     4294967000   100   1    154
//  2  +1000   1234 -> 80     4294967120   200   2    254
//  3  +2000   1234 -> 80             24   100   3    154
//  4  +3000   1234 -> 80            324   100   4    154
//  5  +4000   3333 -> 4444   4294967200   100   1    154
//  6  +8000   3333 -> 4444   4294967250   100   2    154
// Hashes 50405918 and 117465400. Bytes: 5 * 154 + 254 = 1024 over 8 ms: 8192 / 8000 = 1.024.
TEST_F(FlowAnomalyTest, SequenceNumbersPassingTheTopOfTheirRange) {
    const Endpoint source{address(10, 0, 0, 3), 3333};
    const Endpoint destination{address(10, 0, 0, 4), 4444};
    newCapture()
        .add(at(0), segment(client, server, 4294967000U, 1).payload(100).build())
        .add(at(1000), segment(client, server, 4294967120U, 2).payload(200).build())
        .add(at(2000), segment(client, server, 24, 3).payload(100).build())
        .add(at(3000), segment(client, server, 324, 4).payload(100).build())
        .add(at(4000), segment(source, destination, 4294967200U, 1).payload(100).build())
        .add(at(8000), segment(source, destination, 4294967250U, 2).payload(100).build())
        .close();

    const std::string tuple = "TCP 10.0.0.3:3333 -> 10.0.0.4:4444";
    expectResults({.totalVolumeInB = 1024,
                   .trafficLoadInMbps = "1.024",
                   .captureDuration = "00:00:00.008000",
                   .totalVolumeTCPInB = 1024,
                   .numberTCPFlows = 2,
                   .numberTCPGapFlows = 1,
                   .numberSimplexFlows = 2,
                   .numberGapsInTCPFlows = 1},
                  {{"NumberTCPFlows", std::string(kConnection) + "\n" + tuple + "\n"},
                   {"NumberGapsInTCPFlows",
                    "PreGapPacketID,5,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,4294967200,"
                    "PostGapPacketID,6,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,4294967250,"
                    "Gap Size,4294967226\n"},
                   {"NumberTCPGapFlows", "Tuple," + tuple + ",Number of Gaps,1\n"},
                   {"NumberSimplexFlows", "Simplex Flow Tuple," + std::string(kConnection) +
                                              ",number Packets,4\n"
                                              "Simplex Flow Tuple," +
                                              tuple + ",number Packets,2\n"}});
}

// A connection from 10.0.0.7:5000 to itself: every segment goes the flow's own way and none the other, so its
// anomalies count once and it is a simplex flow. Beside it 10.0.0.7:5000 <-> 10.0.0.7:6000, an ordinary
// connection with one segment each way.
//  #  time    flow             seq   data  id  bytes
//  1  +0      5000 -> 5000     1000   100   1    154  reaches 1120
//  2  +1000   5000 -> 6000 SYN    1     0   1     54
//  3  +2000   5000 -> 5000     1300   100   2    154
//  4  +3000   6000 -> 5000 SYN    2     0   1     54
//  5  +4000   the same frame as #3                  154  repeat
//  6  +8000   5000 -> 5000     1200   100   3    154  below 1300: out of order; after #1's end: a hole
// Same-port flow in sequence order 1000, 1200, 1300 (#5), 1300 (#3): hole 1200 - 1000 - 120 = 80.
// Hashes: both have 2 * (16777216 * 7 + 10) + 6 for addresses and protocol; ports as stored 5000 -> 34835,
// 6000 -> 28695, so 5000/6000 (+63530) comes before 5000/5000 (+69670).
// Bytes: 4 * 154 + 2 * 54 = 724 over 8 ms: 0.724.
TEST_F(FlowAnomalyTest, ConnectionBetweenOneEndpointAndItself) {
    const Endpoint self{address(10, 0, 0, 7), 5000};
    const Endpoint other{address(10, 0, 0, 7), 6000};
    const auto twice = segment(self, self, 1300, 2).payload(100).build();
    newCapture()
        .add(at(0), segment(self, self, 1000, 1).payload(100).build())
        .add(at(1000), segment(self, other, 1, 1, kSyn).build())
        .add(at(2000), twice)
        .add(at(3000), segment(other, self, 2, 1, kSyn | kAck).build())
        .add(at(4000), twice)
        .add(at(8000), segment(self, self, 1200, 3).payload(100).build())
        .close();

    const std::string tuple = "TCP 10.0.0.7:5000 -> 10.0.0.7:5000";
    expectResults(
        {.totalVolumeInB = 724,
         .trafficLoadInMbps = "0.724",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 724,
         .numberTCPFlows = 2,
         .numberTCPFlowDuplicates = 1,
         .numberTCPGapFlows = 1,
         .numberTCPOutOfOrderFlows = 1,
         .numberSimplexFlows = 1,
         .numberGapsInTCPFlows = 1,
         .numberOutOfOrderTCPPackets = 1,
         .numberTCPDuplicates = 1},
        {{"NumberTCPFlows", "TCP 10.0.0.7:5000 -> 10.0.0.7:6000\n" + tuple + "\n"},
         {"NumberGapsInTCPFlows",
          "PreGapPacketID,1,Capture Time,2008-Mar-05 14:07:09,Sequence Number,1000,"
          "PostGapPacketID,6,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,1200,Gap Size,80\n"},
         {"NumberOutOfOrderTCPPackets",
          "Packet Number,6,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,1200\n"},
         {"NumberTCPDuplicates",
          "Packet Number,5,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,1300\n"},
         {"NumberTCPGapFlows", "Tuple," + tuple + ",Number of Gaps,1\n"},
         {"NumberTCPOutOfOrderFlows", "Tuple," + tuple + ",Number Out Of Order Packets,1\n"},
         {"NumberTCPFlowDuplicates", "Tuple," + tuple + ",Number Of Duplicates,1\n"},
         {"NumberSimplexFlows", "Simplex Flow Tuple," + tuple + ",number Packets,4\n"}});
}

}  // namespace
}  // namespace korvo::e2e
