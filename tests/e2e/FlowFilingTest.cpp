// Which segments are filed under which flow and direction: one-way flows, flows first seen from the server,
// reused addresses and ports, tagged frames, IP options, fragments, cut frames and the IP total length.

#include "e2e/FlowTest.h"

namespace korvo::e2e {
namespace {

// In the frame tables below, C is the client 10.0.0.1:1234 and S the server 10.0.0.2:80; times are
// microseconds after 2008-03-05 14:07:09, and identifications are the numbers the sender writes, in network
// order.
class FlowFilingTest : public FlowTest {
protected:
    const Endpoint client{address(10, 0, 0, 1), 1234};
    const Endpoint server{address(10, 0, 0, 2), 80};
    static constexpr const char* kConnection = "TCP 10.0.0.1:1234 -> 10.0.0.2:80";
};

// A scanner probes two ports with SYNs. Port 23 answers with a reset: two directions, not simplex. Port 22
// does not answer: the probe is retried and the retry captured twice, so that flow is simplex with 3 packets,
// all at sequence number 777 (in order, no hole) and one repeat (identification 102).
//  #  time    from              to                flags    seq  id   bytes
//  1  +0      10.0.0.9:40000    10.0.0.2:23       SYN      777  100    54
//  2  +1000   10.0.0.9:40000    10.0.0.2:22       SYN      777  101    54
//  3  +2000   10.0.0.2:23       10.0.0.9:40000    RST+ACK    0    0    54
//  4  +5000   10.0.0.9:40000    10.0.0.2:22       SYN      777  102    54
//  5  +8000   the same frame as #4                                    54
// Hashes: 10.0.0.9 and 10.0.0.2 as stored add 150994954 + 33554442, protocol 6; ports as stored 40000 ->
// 16540, 22 -> 5632, 23 -> 5888: port 22's flow (184571574) before port 23's (184571830).
// Bytes: 5 * 54 = 270 over 8 ms: 2160 / 8000 = 0.27.
TEST_F(FlowFilingTest, UnansweredScanProbeIsASimplexFlow) {
    const Endpoint scanner{address(10, 0, 0, 9), 40000};
    const Endpoint ssh{address(10, 0, 0, 2), 22};
    const Endpoint telnet{address(10, 0, 0, 2), 23};
    const auto retry = segment(scanner, ssh, 777, 102, kSyn).build();
    newCapture()
        .add(at(0), segment(scanner, telnet, 777, 100, kSyn).build())
        .add(at(1000), segment(scanner, ssh, 777, 101, kSyn).build())
        .add(at(2000), segment(telnet, scanner, 0, 0, kRst | kAck).build())
        .add(at(5000), retry)
        .add(at(8000), retry)
        .close();

    expectResults(
        {.totalVolumeInB = 270,
         .trafficLoadInMbps = "0.27",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 270,
         .numberTCPFlows = 2,
         .numberTCPFlowDuplicates = 1,
         .numberSimplexFlows = 1,
         .numberTCPDuplicates = 1},
        {{"NumberTCPFlows", "TCP 10.0.0.9:40000 -> 10.0.0.2:22\nTCP 10.0.0.9:40000 -> 10.0.0.2:23\n"},
         {"NumberTCPDuplicates",
          "Packet Number,5,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,777\n"},
         {"NumberTCPFlowDuplicates", "Tuple,TCP 10.0.0.9:40000 -> 10.0.0.2:22,Number Of Duplicates,1\n"},
         {"NumberSimplexFlows", "Simplex Flow Tuple,TCP 10.0.0.9:40000 -> 10.0.0.2:22,number Packets,3\n"}});
}

// The capture starts in the middle of a transfer, with a segment from the server: the flow's own direction is
// server to client, and the client's lost segment is an anomaly of the other direction, reported under the
// server-to-client tuple.
//  #  time    direction  seq   data  id  bytes
//  1  +0      S->C       5001   200   7    254
//  2  +1000   C->S       1001   100   3    154  reaches 1101
//     lost    C->S       1101   100
//  3  +2000   S->C       5201   200   8    254
//  4  +4000   C->S       1201   100   5    154  hole 1201 - 1101 = 100
//  5  +8000   S->C       5401     0   9     54
// Bytes: 2 * 254 + 2 * 154 + 54 = 870 over 8 ms: 0.87.
TEST_F(FlowFilingTest, FlowFirstSeenFromTheServer) {
    newCapture()
        .add(at(0), segment(server, client, 5001, 7).payload(200).build())
        .add(at(1000), segment(client, server, 1001, 3).payload(100).build())
        .add(at(2000), segment(server, client, 5201, 8).payload(200).build())
        .add(at(4000), segment(client, server, 1201, 5).payload(100).build())
        .add(at(8000), segment(server, client, 5401, 9).build())
        .close();

    const std::string tuple = "TCP 10.0.0.2:80 -> 10.0.0.1:1234";
    expectResults(
        {.totalVolumeInB = 870,
         .trafficLoadInMbps = "0.87",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 870,
         .numberTCPFlows = 1,
         .numberTCPGapFlows = 1,
         .numberGapsInTCPFlows = 1},
        {{"NumberTCPFlows", tuple + "\n"},
         {"NumberGapsInTCPFlows",
          "PreGapPacketID,2,Capture Time,2008-Mar-05 14:07:09.001000,Sequence Number,1001,"
          "PostGapPacketID,4,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,1201,Gap Size,100\n"},
         {"NumberTCPGapFlows", "Tuple," + tuple + ",Number of Gaps,1\n"}});
}

// A second connection with the same addresses and ports joins the first one's flow: one flow.
//  #  time    direction  flags    seq      data  id  bytes
//  1  +0      C->S       SYN         1000     0   1     54  reaches 1001
//  2  +500    S->C       SYN+ACK  5000000     0   1     54  reaches 5000001
//  3  +1000   C->S       ACK         1001   100   2    154  reaches 1101
//  4  +1500   S->C       ACK      5000001     0   2     54
//  5  +2000   C->S       FIN+ACK     1101     0   3     54  reaches 1102
//  6  +2500   S->C       FIN+ACK  5000001     0   3     54
//  7  +5000   C->S       SYN       900000     0   4     54  the second connection
//  8  +5500   S->C       SYN+ACK  2000000     0   4     54
//  9  +6000   C->S       ACK       900001   100   5    154
// 10  +8000   S->C       ACK      2000001     0   5     54
// The SYN #7 with a new initial sequence number (far above the first connection's) and the SYN+ACK #8 that
// answers it (far below) begin a second connection in each direction, judged apart from the first: no
// hole between the two, and nothing out of order. Bytes: 8 * 54 + 2 * 154 = 740 over 8 ms: 0.74.
TEST_F(FlowFilingTest, ReusedAddressesAndPortsJoinTheFirstFlow) {
    newCapture()
        .add(at(0), segment(client, server, 1000, 1, kSyn).build())
        .add(at(500), segment(server, client, 5000000, 1, kSyn | kAck).build())
        .add(at(1000), segment(client, server, 1001, 2).payload(100).build())
        .add(at(1500), segment(server, client, 5000001, 2).build())
        .add(at(2000), segment(client, server, 1101, 3, kFin | kAck).build())
        .add(at(2500), segment(server, client, 5000001, 3, kFin | kAck).build())
        .add(at(5000), segment(client, server, 900000, 4, kSyn).build())
        .add(at(5500), segment(server, client, 2000000, 4, kSyn | kAck).build())
        .add(at(6000), segment(client, server, 900001, 5).payload(100).build())
        .add(at(8000), segment(server, client, 2000001, 5).build())
        .close();

    expectResults({.totalVolumeInB = 740,
                   .trafficLoadInMbps = "0.74",
                   .captureDuration = "00:00:00.008000",
                   .totalVolumeTCPInB = 740,
                   .numberTCPFlows = 1},
                  {{"NumberTCPFlows", std::string(kConnection) + "\n"}});
}

// Tagged frames and IP options change where the TCP header lies, not what is filed; fragments and other
// protocols are never filed.
//  #  time    frame                                                  seq   data  id  bytes
//  1  +0      IHL 6: 10.0.0.3:3333 -> 10.0.0.4:4444                 1000   100   1    158
//  2  +1000   VLAN 7: C->S SYN                                       1000     0   1     58
//  3  +2000   VLAN 7: S->C SYN+ACK                                   5000     0   1     58
//  4  +3000   first fragment (more fragments): 3333 -> 4444          1100   100   2    154
//  5  +4000   VLAN 7: C->S                                           1001   100   2    158
//  6  +5000   IHL 6: 3333 -> 4444                                    1200   100   3    158
//  7  +6000   VLAN 7: C->S                                           1201   100   3    158
//  8  +7000   first fragment: 10.0.0.5:5555 -> 10.0.0.6:6666           1   100   9    154
//  9  +7500   UDP 10.0.0.1:1234 -> 10.0.0.2:80, the tagged flow's ports          12   0     54
// 10  +8000   last fragment (offset 15 words), protocol 6, 10.0.0.5 -> 10.0.0.6,   60   9     94
// The option flow's segments carry 100 data bytes behind a 24-byte IP header, so #1 reaches 1100 and #6 opens
// a hole of 1200 - 1100 = 100; had the fragment #4 been filed, it would have filled it. The tagged flow: #5
// reaches 1101, #7 opens a hole of 100. Neither fragmented flow exists; the fragments are counted as such.
// The UDP datagram joins no flow. Hashes: the tagged flow 16777226 + 33554442 + 53764 + 20480 + 6 = 50405918;
// the option flow 50331658 + 67108874 + 1293 + 23569 + 6 = 117465400: the tagged flow first, though seen
// second. Bytes: 4 * 158 + 2 * 58 + 2 * 154 + 54 + 94 = 1204 over 8 ms: 1.204; TCP: 4 * 158 + 2 * 58 = 748.
TEST_F(FlowFilingTest, TaggedFramesAndIpOptionsAreFiledButFragmentsAndUdpAreNot) {
    const Endpoint optionSource{address(10, 0, 0, 3), 3333};
    const Endpoint optionDestination{address(10, 0, 0, 4), 4444};
    newCapture()
        .add(at(0), segment(optionSource, optionDestination, 1000, 1).ipHeaderWords(6).payload(100).build())
        .add(at(1000), segment(client, server, 1000, 1, kSyn).vlan(7).build())
        .add(at(2000), segment(server, client, 5000, 1, kSyn | kAck).vlan(7).build())
        .add(at(3000),
             segment(optionSource, optionDestination, 1100, 2).ipFlagsAndOffset(0x2000).payload(100).build())
        .add(at(4000), segment(client, server, 1001, 2).vlan(7).payload(100).build())
        .add(at(5000),
             segment(optionSource, optionDestination, 1200, 3).ipHeaderWords(6).payload(100).build())
        .add(at(6000), segment(client, server, 1201, 3).vlan(7).payload(100).build())
        .add(at(7000), segment({address(10, 0, 0, 5), 5555}, {address(10, 0, 0, 6), 6666}, 1, 9)
                           .ipFlagsAndOffset(0x2000)
                           .payload(100)
                           .build())
        .add(at(7500),
             tools::FrameBuilder().ipv4(client.address, server.address).udp(1234, 80).payload(12).build())
        .add(at(8000), tools::FrameBuilder()
                           .ipv4(address(10, 0, 0, 5), address(10, 0, 0, 6))
                           .ipIdentification(9)
                           .ipProtocol(tools::FrameBuilder::kProtocolTcp)
                           .ipFlagsAndOffset(15)
                           .payload(60)
                           .build())
        .close();

    expectResults(
        {.totalVolumeInB = 1204,
         .trafficLoadInMbps = "1.204",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 748,
         .numberTCPFlows = 2,
         .numberTCPGapFlows = 2,
         .numberSimplexFlows = 1,
         .numberIPFragments = 3,
         .numberGapsInTCPFlows = 2},
        {{"NumberTCPFlows", std::string(kConnection) + "\nTCP 10.0.0.3:3333 -> 10.0.0.4:4444\n"},
         {"NumberIPFragments",
          "Packet Number,4,Capture Time,2008-Mar-05 14:07:09.003000\n"
          "Packet Number,8,Capture Time,2008-Mar-05 14:07:09.007000\n"
          "Packet Number,10,Capture Time,2008-Mar-05 14:07:09.008000\n"},
         {"NumberGapsInTCPFlows",
          "PreGapPacketID,5,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,1001,"
          "PostGapPacketID,7,Capture Time,2008-Mar-05 14:07:09.006000,Sequence Number,1201,Gap Size,100\n"
          "PreGapPacketID,1,Capture Time,2008-Mar-05 14:07:09,Sequence Number,1000,"
          "PostGapPacketID,6,Capture Time,2008-Mar-05 14:07:09.005000,Sequence Number,1200,Gap Size,100\n"},
         {"NumberTCPGapFlows", "Tuple," + std::string(kConnection) +
                                   ",Number of Gaps,1\n"
                                   "Tuple,TCP 10.0.0.3:3333 -> 10.0.0.4:4444,Number of Gaps,1\n"},
         {"NumberSimplexFlows", "Simplex Flow Tuple,TCP 10.0.0.3:3333 -> 10.0.0.4:4444,number Packets,2\n"}});
}

// Frames captured too short for the whole 20-byte TCP header are not filed (nor counted as TCP), though they
// count as frames; a frame cut right after the TCP header is filed with the length its IP header states.
//  #  time    frame                             seq   data  id  wire  captured
//  1  +0      C->S                              1001   100   1   154  all       reaches 1101
//  2  +2000   C->S                              1101   100   2   154  53        header short by 1 byte
//  3  +4000   C->S                              1201   100   3   154  all       hole 1201 - 1101 = 100
//  4  +6000   C->S                              1301   100   4   154  54        filed, reaches 1401
//  5  +8000   10.0.0.3:1 -> 10.0.0.4:2          1        0   1    54  40        ports only: no flow
// Bytes: 4 * 154 + 54 = 670 over 8 ms: 0.67; TCP: #1, #3, #4, 462.
TEST_F(FlowFilingTest, SegmentsWithACutTcpHeaderAreNotFiled) {
    newCapture()
        .add(at(0), segment(client, server, 1001, 1).payload(100).build())
        .addCut(at(2000), segment(client, server, 1101, 2).payload(100).build(), 53)
        .add(at(4000), segment(client, server, 1201, 3).payload(100).build())
        .addCut(at(6000), segment(client, server, 1301, 4).payload(100).build(), 54)
        .addCut(at(8000), segment({address(10, 0, 0, 3), 1}, {address(10, 0, 0, 4), 2}, 1, 1).build(), 40)
        .close();

    expectResults(
        {.totalVolumeInB = 670,
         .trafficLoadInMbps = "0.67",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 462,
         .numberTCPFlows = 1,
         .numberTCPGapFlows = 1,
         .numberSimplexFlows = 1,
         .numberGapsInTCPFlows = 1,
         .numberOfTruncatedPackets = 3},
        {{"NumberOfTruncatedPackets", "Packet Number,2\nPacket Number,4\nPacket Number,5\n"},
         {"NumberTCPFlows", std::string(kConnection) + "\n"},
         {"NumberGapsInTCPFlows",
          "PreGapPacketID,1,Capture Time,2008-Mar-05 14:07:09,Sequence Number,1001,"
          "PostGapPacketID,3,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,1201,Gap Size,100\n"},
         {"NumberTCPGapFlows", "Tuple," + std::string(kConnection) + ",Number of Gaps,1\n"},
         {"NumberSimplexFlows", "Simplex Flow Tuple," + std::string(kConnection) + ",number Packets,3\n"}});
}

// A segment's data is the IP total length minus both headers, whatever the frame's length, and never below 0.
// - 10.0.0.1:1234 -> 10.0.0.2:80: #1 is a pure acknowledgement padded to the Ethernet minimum of 60 bytes;
//   its IP total length 40 leaves no data, so it reaches 1000 and #2 at 1001 opens a hole of 1.
// - 10.0.0.3:3333 -> 10.0.0.4:4444: #3 states an IP total length of 10, below its headers: no data, so #3
//   reaches 5000 and #4 at 5011 opens a hole of 11.
//  #  time    flow           seq   id  bytes
//  1  +0      1234 -> 80     1000   1     60
//  2  +2000   1234 -> 80     1001   2     54
//  3  +4000   3333 -> 4444   5000   1     54
//  4  +8000   3333 -> 4444   5011   2     54
// Hashes 50405918 and 117465400 (as in the tagged-frame test). Bytes: 60 + 3 * 54 = 222 over 8 ms: 0.222.
TEST_F(FlowFilingTest, SegmentLengthComesFromTheIpTotalLength) {
    const Endpoint source{address(10, 0, 0, 3), 3333};
    const Endpoint destination{address(10, 0, 0, 4), 4444};
    auto padded = segment(client, server, 1000, 1).build();
    padded.resize(60, 0);
    newCapture()
        .add(at(0), padded)
        .add(at(2000), segment(client, server, 1001, 2).build())
        .add(at(4000), segment(source, destination, 5000, 1).ipTotalLength(10).build())
        .add(at(8000), segment(source, destination, 5011, 2).build())
        .close();

    expectResults(
        {.totalVolumeInB = 222,
         .trafficLoadInMbps = "0.222",
         .captureDuration = "00:00:00.008000",
         .totalVolumeTCPInB = 222,
         .numberTCPFlows = 2,
         .numberTCPGapFlows = 2,
         .numberSimplexFlows = 2,
         .numberGapsInTCPFlows = 2},
        {{"NumberTCPFlows", std::string(kConnection) + "\nTCP 10.0.0.3:3333 -> 10.0.0.4:4444\n"},
         {"NumberGapsInTCPFlows",
          "PreGapPacketID,1,Capture Time,2008-Mar-05 14:07:09,Sequence Number,1000,"
          "PostGapPacketID,2,Capture Time,2008-Mar-05 14:07:09.002000,Sequence Number,1001,Gap Size,1\n"
          "PreGapPacketID,3,Capture Time,2008-Mar-05 14:07:09.004000,Sequence Number,5000,"
          "PostGapPacketID,4,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,5011,Gap Size,11\n"},
         {"NumberTCPGapFlows", "Tuple," + std::string(kConnection) +
                                   ",Number of Gaps,1\n"
                                   "Tuple,TCP 10.0.0.3:3333 -> 10.0.0.4:4444,Number of Gaps,1\n"},
         {"NumberSimplexFlows",
          "Simplex Flow Tuple," + std::string(kConnection) +
              ",number Packets,2\n"
              "Simplex Flow Tuple,TCP 10.0.0.3:3333 -> 10.0.0.4:4444,number Packets,2\n"}});
}

}  // namespace
}  // namespace korvo::e2e
