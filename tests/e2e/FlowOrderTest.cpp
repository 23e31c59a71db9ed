// The order in which flows are listed: ascending by their hash taken as a signed number, flows of equal hash
// in the order in which they first appeared, whatever the capture order.

#include "e2e/FlowTest.h"

namespace korvo::e2e {
namespace {

class FlowOrderTest : public FlowTest {};

// Six flows, each from its first endpoint to its second. Each sends a pure acknowledgement at X + 80 and
// then 80 data bytes at X (reaching X + 80): no hole, and the second segment is out of order. Only flow E
// has an answer (#7), so the other five are simplex flows of 2 packets.
//
// Hash: protocol 6, plus each address as stored (10.0.0.n counts 10 + 16777216 * n), plus each port as stored
// (port 0xHHLL counts 0xHH + 256 * 0xLL), modulo 2^32, read as a signed number:
//   flow  endpoints                              addresses                  ports          hash
//   A     10.0.0.5:7000 -> 10.0.0.6:8000         83886090 + 100663306       22555 + 16415  184588372
//   B     10.0.0.3:2000 -> 10.0.0.4:1000         50331658 + 67108874        53255 + 59395  117553188
//   C     10.0.0.1:1234 -> 10.0.0.2:80           16777226 + 33554442        53764 + 20480  50405918
//   D     10.0.0.1:1234 -> 10.0.0.200:443        16777226 + 3355443210      53764 + 47873  3372322079 - 2^32
//                                                                                          = -922645217
//   F     10.0.0.150:5000 -> 10.0.0.100:6000     2516582410 + 1677721610    34835 + 28695  4194367556 - 2^32
//                                                                                          = -100599740
//   E     10.0.0.3:1000 -> 10.0.0.4:2000         as B, ports swapped                       117553188
// Hand-out order: D, F, C, B, E (B and E share a hash; B was seen first), A.
//
//  #  time     flow   seq    data  id  bytes
//  1  +0       A      10080     0   1     54
//  2  +1000    B      20080     0   1     54
//  3  +2000    C      30080     0   1     54
//  4  +3000    D      40080     0   1     54
//  5  +4000    F      50080     0   1     54
//  6  +5000    E      60080     0   1     54
//  7  +6000    E's answer, 10.0.0.4:2000 -> 10.0.0.3:1000, seq 70000, id 1, 54 bytes
//  8  +7000    A      10000    80   2    134
//  9  +8000    B      20000    80   2    134
// 10  +9000    C      30000    80   2    134
// 11  +10000   D      40000    80   2    134
// 12  +11000   F      50000    80   2    134
// 13  +12000   E      60000    80   2    134
// Bytes: 7 * 54 + 6 * 134 = 1182 over 12 ms: 9456 / 12000 = 0.788.
TEST_F(FlowOrderTest, FlowsAreListedByHashThenByFirstAppearance) {
    struct Flow {
        Endpoint from;
        Endpoint to;
        std::uint32_t sequenceNumber;
    };
    const Flow flowA{{address(10, 0, 0, 5), 7000}, {address(10, 0, 0, 6), 8000}, 10000};
    const Flow flowB{{address(10, 0, 0, 3), 2000}, {address(10, 0, 0, 4), 1000}, 20000};
    const Flow flowC{{address(10, 0, 0, 1), 1234}, {address(10, 0, 0, 2), 80}, 30000};
    const Flow flowD{{address(10, 0, 0, 1), 1234}, {address(10, 0, 0, 200), 443}, 40000};
    const Flow flowF{{address(10, 0, 0, 150), 5000}, {address(10, 0, 0, 100), 6000}, 50000};
    const Flow flowE{{address(10, 0, 0, 3), 1000}, {address(10, 0, 0, 4), 2000}, 60000};
    const Flow inCaptureOrder[] = {flowA, flowB, flowC, flowD, flowF, flowE};

    TestCapture capture = newCapture();
    std::uint32_t time = 0;
    for (const Flow& flow : inCaptureOrder) {
        capture.add(at(time), segment(flow.from, flow.to, flow.sequenceNumber + 80, 1).build());
        time += 1000;
    }
    capture.add(at(time), segment(flowE.to, flowE.from, 70000, 1).build());
    for (const Flow& flow : inCaptureOrder) {
        time += 1000;
        capture.add(at(time), segment(flow.from, flow.to, flow.sequenceNumber, 2).payload(80).build());
    }
    capture.close();

    const std::string tupleA = "TCP 10.0.0.5:7000 -> 10.0.0.6:8000";
    const std::string tupleB = "TCP 10.0.0.3:2000 -> 10.0.0.4:1000";
    const std::string tupleC = "TCP 10.0.0.1:1234 -> 10.0.0.2:80";
    const std::string tupleD = "TCP 10.0.0.1:1234 -> 10.0.0.200:443";
    const std::string tupleE = "TCP 10.0.0.3:1000 -> 10.0.0.4:2000";
    const std::string tupleF = "TCP 10.0.0.150:5000 -> 10.0.0.100:6000";
    const auto outOfOrderFlow = [](const std::string& tuple) {
        return "Tuple," + tuple + ",Number Out Of Order Packets,1\n";
    };
    const auto simplexFlow = [](const std::string& tuple) {
        return "Simplex Flow Tuple," + tuple + ",number Packets,2\n";
    };
    expectResults({.totalVolumeInB = 1182,
                   .trafficLoadInMbps = "0.788",
                   .captureDuration = "00:00:00.012000",
                   .totalVolumeTCPInB = 1182,
                   .numberTCPFlows = 6,
                   .numberTCPOutOfOrderFlows = 6,
                   .numberSimplexFlows = 5,
                   .numberOutOfOrderTCPPackets = 6},
                  {{"NumberTCPFlows", tupleD + "\n" + tupleF + "\n" + tupleC + "\n" + tupleB + "\n" + tupleE +
                                          "\n" + tupleA + "\n"},
                   {"NumberOutOfOrderTCPPackets",
                    "Packet Number,11,Capture Time,2008-Mar-05 14:07:09.010000,Sequence Number,40000\n"
                    "Packet Number,12,Capture Time,2008-Mar-05 14:07:09.011000,Sequence Number,50000\n"
                    "Packet Number,10,Capture Time,2008-Mar-05 14:07:09.009000,Sequence Number,30000\n"
                    "Packet Number,9,Capture Time,2008-Mar-05 14:07:09.008000,Sequence Number,20000\n"
                    "Packet Number,13,Capture Time,2008-Mar-05 14:07:09.012000,Sequence Number,60000\n"
                    "Packet Number,8,Capture Time,2008-Mar-05 14:07:09.007000,Sequence Number,10000\n"},
                   {"NumberTCPOutOfOrderFlows", outOfOrderFlow(tupleD) + outOfOrderFlow(tupleF) +
                                                    outOfOrderFlow(tupleC) + outOfOrderFlow(tupleB) +
                                                    outOfOrderFlow(tupleE) + outOfOrderFlow(tupleA)},
                   {"NumberSimplexFlows", simplexFlow(tupleD) + simplexFlow(tupleF) + simplexFlow(tupleC) +
                                              simplexFlow(tupleB) + simplexFlow(tupleA)}});
}

}  // namespace
}  // namespace korvo::e2e
