// Gaps, out-of-order segments and repeats within one connection, as the six anomaly figures and their detail
// rows report them.
//
// A segment occupies its TCP data plus one sequence number for a SYN and one for a FIN, so a segment of d
// data bytes at sequence number s reaches s + d (+ 1 with SYN or FIN), and every missing sequence number
// after the segment that reached furthest is a hole, its size the count of numbers missing.

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
// end of what came before (1001, 1101, 1101, 1201, 1202), no hole; captured in ascending order, each
// sequence number at least the last one, so nothing is out of order. Server side 5000, 5001, 5301, 5301:
// ends 5001, 5301, 5302, no hole, none out of order. Identifications are distinct within each direction; the
// same identification in both directions (1 to 4) is no repeat. Bytes: 7 * 54 + 2 * 154 + 354 = 1040, all
// TCP, over 8 ms: 8320 bits / 8000 us = 1.04.
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
//  1  +0      C->S       SYN      1000     0   1     54  1001
//  2  +1000   S->C       SYN+ACK  5000     0   1     54
//  3  +2000   C->S       ACK      1001   100   2    154  1101
//     lost    C->S                1101   100   3         (a hole of 100)
//  4  +3000   C->S       ACK      1201   100   4    154  1301
//  5  +4000   C->S       ACK      1301    20   5     74  1321
//     lost    C->S                1321     1   6         (a hole of 1, far shorter than a TCP header)
//  6  +5000   C->S       ACK      1322    21   7     75  1343
//  7  +6000   C->S       ACK      1343    10   9     64  1353
//  8  +7000   S->C       ACK      5001     0   2     54
//  9  +8000   C->S       FIN+ACK  1353     0  10     54  1354
// Bytes: 4 * 54 + 2 * 154 + 74 + 75 + 64 = 737 over 8 ms: 5896 / 8000 = 0.737.
TEST_F(FlowAnomalyTest, LostSegments) {
    newCapture()
        .add(at(0), segment(client, server, 1000, 1, kSyn).build())
        .add(at(1000), segment(server, client, 5000, 1, kSyn | kAck).build())
        .add(at(2000), segment(client, server, 1001, 2).payload(100).build())
        .add(at(3000), segment(client, server, 1201, 4).payload(100).build())
        .add(at(4000), segment(client, server, 1301, 5).payload(20).build())
        .add(at(5000), segment(client, server, 1322, 7).payload(21).build())
        .add(at(6000), segment(client, server, 1343, 9).payload(10).build())
        .add(at(7000), segment(server, client, 5001, 2).build())
        .add(at(8000), segment(client, server, 1353, 10, kFin | kAck).build())
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
          "PostGapPacketID,4,Capture Time,2008-Mar-05 14:07:09.003000,Sequence Number,1201,Gap Size,100\n"
          "PreGapPacketID,5,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,1301,"
          "PostGapPacketID,6,Capture Time,2008-Mar-05 14:07:09.005000,Sequence Number,1322,Gap Size,1\n"},
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

// Six copies of one pure acknowledgement (sequence number 1000, acknowledging 7000) from the client only,
// with the identifications 1, 256, 1, 256, 0, 0 as the sender numbers them, sent in network order. Read as
// stored, byte 4 plus 256 times byte 5, they are the keys 256, 1, 256, 1, 0, 0. Repeats by key in ascending
// key order: key 0 (#6), key 1 (#4), key 256 (#3). Numbered in host order the rows would come as #6, #3, #4.
//  #  time    id   key
//  1  +0         1  256
//  2  +1600    256    1
//  3  +3200      1  256  repeat
//  4  +4800    256    1  repeat
//  5  +6400      0    0
//  6  +8000      0    0  repeat
// Bytes: 6 * 54 = 324 over 8 ms: 0.324. One direction only: a simplex flow of 6 packets.
TEST_F(FlowAnomalyTest, RepeatsFollowTheIdentificationAsStored) {
    const std::uint16_t identifications[] = {1, 256, 1, 256, 0, 0};
    TestCapture capture = newCapture();
    for (std::uint16_t i = 0; i < 6; ++i) {
        capture.add(at(1600U * i), segment(client, server, 1000, identifications[i], kAck, 7000).build());
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
          "Packet Number,6,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,1000\n"
          "Packet Number,4,Capture Time,2008-Mar-05 14:07:09.004800,Sequence Number,1000\n"
          "Packet Number,3,Capture Time,2008-Mar-05 14:07:09.003200,Sequence Number,1000\n"},
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
// 1301, 1401 (#12), 1401 (#11). #9 reaches 1101, the furthest before the hole: 1201 - 1101 = 100.
// Server side: 5000, 5001, 5201 (#6), 5201 (#5), 5301, 5401, 5501. #4 reaches 5101; the first segment after
// the hole is #6, the copy, which stands before #5: 5201 - 5101 = 100.
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
          "PostGapPacketID,10,Capture Time,2008-Mar-05 14:07:09.004500,Sequence Number,1201,Gap Size,100\n"
          "PreGapPacketID,4,Capture Time,2008-Mar-05 14:07:09.001500,Sequence Number,5001,"
          "PostGapPacketID,6,Capture Time,2008-Mar-05 14:07:09.002500,Sequence Number,5201,Gap Size,100\n"},
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

// A capture that starts mid-stream: a segment 5000 below the first one captured lies before it in sequence
// order, with a hole between the two, and is late in capture order. One-way flow 10.0.0.1:2001 ->
// 10.0.0.2:81, segments of 1440 data bytes:
//  #  time    seq    reaches  id  bytes
//  1  +0      10000  11440     1   1494
//  2  +1000    5000   6440     2   1494  below 10000: out of order
//  3  +2000   11440  12880     3   1494
//  4  +8000   12880  14320     4   1494
// Sequence order 5000, 10000, 11440, 12880: a hole of 10000 - 6440 = 3560 after #2.
// Bytes: 4 * 1494 = 5976 over 8 ms: 47808 / 8000 = 5.976.
TEST_F(FlowAnomalyTest, CaptureStartingMidStream) {
    const Endpoint from{address(10, 0, 0, 1), 2001};
    const Endpoint to{address(10, 0, 0, 2), 81};
    newCapture()
        .add(at(0), segment(from, to, 10000, 1).payload(1440).build())
        .add(at(1000), segment(from, to, 5000, 2).payload(1440).build())
        .add(at(2000), segment(from, to, 11440, 3).payload(1440).build())
        .add(at(8000), segment(from, to, 12880, 4).payload(1440).build())
        .close();

    const std::string tuple = "TCP 10.0.0.1:2001 -> 10.0.0.2:81";
    expectResults(
        {.totalVolumeInB = 5976,
         .trafficLoadInMbps = "5.976",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 5976,
         .numberTCPFlows = 1,
         .numberTCPGapFlows = 1,
         .numberTCPOutOfOrderFlows = 1,
         .numberSimplexFlows = 1,
         .numberGapsInTCPFlows = 1,
         .numberOutOfOrderTCPPackets = 1},
        {{"NumberTCPFlows", tuple + "\n"},
         {"NumberGapsInTCPFlows",
          "PreGapPacketID,2,Capture Time,2008-Mar-05 14:07:09.001000,Sequence Number,5000,"
          "PostGapPacketID,1,Capture Time,2008-Mar-05 14:07:09,Sequence Number,10000,Gap Size,3560\n"},
         {"NumberTCPGapFlows", "Tuple," + tuple + ",Number of Gaps,1\n"},
         {"NumberOutOfOrderTCPPackets",
          "Packet Number,2,Capture Time,2008-Mar-05 14:07:09.001000,Sequence Number,5000\n"},
         {"NumberTCPOutOfOrderFlows", "Tuple," + tuple + ",Number Out Of Order Packets,1\n"},
         {"NumberSimplexFlows", "Simplex Flow Tuple," + tuple + ",number Packets,4\n"}});
}

// Sequence numbers that pass 2^32 = 4294967296 carry on counting: positions are unwrapped in capture order.
// Two one-way flows:
// - 10.0.0.1:1234 -> 10.0.0.2:80 loses the 200 numbers from 4294967100 to 4 across the wrap: #1 reaches
//   4294967100, #2 starts at 4 (position 2^32 + 4), a hole of 200; #3 continues at 104.
// - 10.0.0.3:3333 -> 10.0.0.4:4444 crosses the wrap whole: #4 reaches 2^32 + 104, #5 lies inside it, #6
//   continues at 104. No hole, nothing out of order.
//  #  time    flow           seq         data  id  bytes
//  1  +0      1234 -> 80     4294967000   100   1    154
//  2  +1000   1234 -> 80              4   100   2    154
//  3  +2000   1234 -> 80            104   100   3    154
//  4  +4000   3333 -> 4444   4294967200   200   1    254
//  5  +6000   3333 -> 4444   4294967250   100   2    154
//  6  +8000   3333 -> 4444          104   100   3    154
// Hashes 50405918 and 117465400. Bytes: 5 * 154 + 254 = 1024 over 8 ms: 8192 / 8000 = 1.024.
TEST_F(FlowAnomalyTest, SequenceNumbersPassingTheTopOfTheirRange) {
    const Endpoint source{address(10, 0, 0, 3), 3333};
    const Endpoint destination{address(10, 0, 0, 4), 4444};
    newCapture()
        .add(at(0), segment(client, server, 4294967000U, 1).payload(100).build())
        .add(at(1000), segment(client, server, 4, 2).payload(100).build())
        .add(at(2000), segment(client, server, 104, 3).payload(100).build())
        .add(at(4000), segment(source, destination, 4294967200U, 1).payload(200).build())
        .add(at(6000), segment(source, destination, 4294967250U, 2).payload(100).build())
        .add(at(8000), segment(source, destination, 104, 3).payload(100).build())
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
                    "PreGapPacketID,1,Capture Time,2008-Mar-05 14:07:09,Sequence Number,4294967000,"
                    "PostGapPacketID,2,Capture Time,2008-Mar-05 14:07:09.001000,Sequence Number,4,"
                    "Gap Size,200\n"},
                   {"NumberTCPGapFlows", "Tuple," + std::string(kConnection) + ",Number of Gaps,1\n"},
                   {"NumberSimplexFlows", "Simplex Flow Tuple," + std::string(kConnection) +
                                              ",number Packets,3\n"
                                              "Simplex Flow Tuple," +
                                              tuple + ",number Packets,3\n"}});
}

// A connection from 10.0.0.7:5000 to itself: every segment goes the flow's own way and none the other, so its
// anomalies count once and it is a simplex flow. Beside it 10.0.0.7:5000 <-> 10.0.0.7:6000, an ordinary
// connection with one segment each way.
//  #  time    flow             seq   data  id  bytes
//  1  +0      5000 -> 5000     1000   100   1    154  reaches 1100
//  2  +1000   5000 -> 6000 SYN    1     0   1     54
//  3  +2000   5000 -> 5000     1300   100   2    154
//  4  +3000   6000 -> 5000 SYN    2     0   1     54
//  5  +4000   the same frame as #3                  154  repeat
//  6  +8000   5000 -> 5000     1200   100   3    154  below 1300: out of order; after #1's end: a hole
// Same-port flow in sequence order 1000, 1200, 1300 (#5), 1300 (#3): hole 1200 - 1100 = 100.
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
          "PostGapPacketID,6,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,1200,Gap Size,100\n"},
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
