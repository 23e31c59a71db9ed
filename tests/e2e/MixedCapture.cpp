#include "e2e/MixedCapture.h"

#include "e2e/ToolTest.h"

namespace korvo::e2e {

// Frame by frame (number, time as seconds after 2008-03-05 14:07:09, wire bytes):
//  1  +0.000000    54  TCP 10.0.0.1:1234 -> 10.0.0.2:80, SYN, seq 1000, id 1
//  2  +0.000120    54  TCP 10.0.0.2:80 -> 10.0.0.1:1234, SYN+ACK, seq 5000, id 1
//  3  +0.000500    42  ARP (14 + 28)
//  4  +0.000500    74  IPv6 (14 + 60), same time as frame 3
//  5  +0.001000   154  TCP 1234 -> 80, seq 1001 (= 1000 + 1, the SYN's one number), 100 data bytes, id 2
//  6  +0.002000    68  VLAN 7, TCP 10.0.0.3:5555 -> 10.0.0.4:443, seq 70000, 10 data bytes
//  7  +0.003000    54  UDP 10.0.0.1:53 -> 10.0.0.5:5353, 12 data bytes
//  8  +0.004000  2014  TCP 1234 -> 80, seq 1101 (= 1001 + 100), 1960 data bytes: IP length 2000, jumbo
//  9  +1.000000   154  first fragment (more-fragments, offset 0), TCP 10.0.0.7:2000 -> 10.0.0.8:3000
// 10  +1.000120  1634  middle fragment (more-fragments, offset 15 words), IP length 1620, yet no jumbo
// 11  +1.999999    98  VLAN 7, last fragment (offset 215 words)
// 12  -1.500000    42  UDP 10.0.0.1:53 -> 10.0.0.5:5353: the earliest time, though not the first frame
// 13  +0.008000  1454  TCP 80 -> 1234, seq 5001 (= 5000 + 1), 1400 data bytes, only 64 bytes captured
// 14  +0.008000    54  TCP 1234 -> 80, FIN+ACK, seq 3061 (= 1101 + 1960), same time as frame 13
// 15 +10.250000  1514  UDP 10.0.0.5:5353 -> 10.0.0.1:53, IP length 1500: the latest time, not a jumbo
// 16  +0.009000    60  UDP 10.0.0.5:5353 -> 10.0.0.1:53, 18 data bytes
// Each TCP direction starts where the previous segment of that direction ends, in capture order, and has its
// own IP identifications, so no flow shows a gap, a reordering or a duplicate.
void MixedCapture::write(const std::filesystem::path& path) {
    using tools::FrameBuilder;
    const std::uint32_t a1 = address(10, 0, 0, 1);
    const std::uint32_t a2 = address(10, 0, 0, 2);
    const std::uint32_t a3 = address(10, 0, 0, 3);
    const std::uint32_t a4 = address(10, 0, 0, 4);
    const std::uint32_t a5 = address(10, 0, 0, 5);
    const std::uint32_t a7 = address(10, 0, 0, 7);
    const std::uint32_t a8 = address(10, 0, 0, 8);
    const std::uint32_t t = kMarch2008;

    TestCapture capture(path);
    capture.add(
        {t, 0},
        FrameBuilder().ipv4(a1, a2).ipIdentification(1).tcp(1234, 80, 1000, FrameBuilder::kTcpSyn).build());
    capture.add({t, 120}, FrameBuilder()
                              .ipv4(a2, a1)
                              .ipIdentification(1)
                              .tcp(80, 1234, 5000, FrameBuilder::kTcpSyn | FrameBuilder::kTcpAck)
                              .build());
    capture.add({t, 500}, FrameBuilder().nonIp(FrameBuilder::kEtherTypeArp, 28).build());
    capture.add({t, 500}, FrameBuilder().nonIp(FrameBuilder::kEtherTypeIPv6, 60).build());
    capture.add({t, 1000},
                FrameBuilder().ipv4(a1, a2).ipIdentification(2).tcp(1234, 80, 1001).payload(100).build());
    capture.add(
        {t, 2000},
        FrameBuilder().vlan(7).ipv4(a3, a4).ipIdentification(1).tcp(5555, 443, 70000).payload(10).build());
    capture.add({t, 3000}, FrameBuilder().ipv4(a1, a5).udp(53, 5353).payload(12).build());
    capture.add({t, 4000},
                FrameBuilder().ipv4(a1, a2).ipIdentification(3).tcp(1234, 80, 1101).payload(1960).build());
    capture.add({t + 1, 0}, FrameBuilder()
                                .ipv4(a7, a8)
                                .ipIdentification(77)
                                .tcp(2000, 3000, 1)
                                .ipFlagsAndOffset(0x2000)
                                .payload(100)
                                .build());
    capture.add({t + 1, 120}, FrameBuilder()
                                  .ipv4(a7, a8)
                                  .ipIdentification(77)
                                  .ipProtocol(FrameBuilder::kProtocolTcp)
                                  .ipFlagsAndOffset(0x2000 | 15)
                                  .payload(1600)
                                  .build());
    capture.add({t + 1, 999999}, FrameBuilder()
                                     .vlan(7)
                                     .ipv4(a7, a8)
                                     .ipIdentification(77)
                                     .ipProtocol(FrameBuilder::kProtocolTcp)
                                     .ipFlagsAndOffset(215)
                                     .payload(60)
                                     .build());
    capture.add({t - 2, 500000}, FrameBuilder().ipv4(a1, a5).udp(53, 5353).build());
    capture.addCut({t, 8000},
                   FrameBuilder().ipv4(a2, a1).ipIdentification(2).tcp(80, 1234, 5001).payload(1400).build(),
                   64);
    capture.add({t, 8000}, FrameBuilder()
                               .ipv4(a1, a2)
                               .ipIdentification(4)
                               .tcp(1234, 80, 3061, FrameBuilder::kTcpFin | FrameBuilder::kTcpAck)
                               .build());
    capture.add({t + 10, 250000}, FrameBuilder().ipv4(a5, a1).udp(5353, 53).payload(1472).build());
    capture.add({t, 9000}, FrameBuilder().ipv4(a5, a1).udp(5353, 53).payload(18).build());
    capture.close();
}

}  // namespace korvo::e2e
