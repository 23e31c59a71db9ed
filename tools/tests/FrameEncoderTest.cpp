#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/FrameBuilder.h"
#include "tools/synth/FrameEncoder.h"

namespace {

using korvo::tools::FrameBuilder;
using korvo::tools::synth::FrameEncoder;
using korvo::tools::synth::TcpSegment;
using korvo::tools::synth::UdpPacket;

std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> frame) {
    return {frame.begin(), frame.end()};
}

TEST(FrameEncoderTest, TcpSegmentsMatchFrameBuilderByteForByte) {
    FrameEncoder encoder;
    TcpSegment segment;
    segment.sourceAddress = 0x0A010203;
    segment.destinationAddress = 0xC0A80101;
    segment.sourcePort = 50123;
    segment.destinationPort = 443;
    segment.sequenceNumber = 0xFFFFFF00;
    segment.acknowledgementNumber = 77;
    segment.flags = FrameEncoder::kTcpAck | FrameEncoder::kTcpPsh;
    segment.identification = 0xBEEF;
    segment.payloadBytes = 1460;
    const auto expected = FrameBuilder()
                              .ipv4(0x0A010203, 0xC0A80101)
                              .ipIdentification(0xBEEF)
                              .tcp(50123, 443, 0xFFFFFF00, 0x18, 77)
                              .payload(1460)
                              .build();
    EXPECT_EQ(bytes(encoder.tcp(segment)), expected);

    // A shorter, tagged segment after a longer one: nothing of the previous frame may leak into it.
    segment.vlanId = 42;
    segment.payloadBytes = 0;
    segment.flags = FrameEncoder::kTcpSyn;
    const auto tagged = FrameBuilder()
                            .vlan(42)
                            .ipv4(0x0A010203, 0xC0A80101)
                            .ipIdentification(0xBEEF)
                            .tcp(50123, 443, 0xFFFFFF00, FrameBuilder::kTcpSyn, 77)
                            .build();
    EXPECT_EQ(bytes(encoder.tcp(segment)), tagged);
}

TEST(FrameEncoderTest, WholeUdpDatagramMatchesFrameBuilder) {
    FrameEncoder encoder;
    UdpPacket packet;
    packet.sourceAddress = 0x0A000035;
    packet.destinationAddress = 0x0A010001;
    packet.sourcePort = 53;
    packet.destinationPort = 40000;
    packet.identification = 9;
    packet.payloadBytes = 333;
    EXPECT_EQ(
        bytes(encoder.udp(packet)),
        FrameBuilder().ipv4(0x0A000035, 0x0A010001).ipIdentification(9).udp(53, 40000).payload(333).build());
}

TEST(FrameEncoderTest, FragmentsCarryOffsetFlagsAndTheUdpHeaderOnlyFirst) {
    FrameEncoder encoder;
    UdpPacket fragment;
    fragment.sourcePort = 1000;
    fragment.destinationPort = 2049;
    fragment.datagramBytes = 3000;
    fragment.fragmentField = FrameEncoder::kMoreFragments;
    fragment.payloadBytes = 1480 - 8;
    const auto first = bytes(encoder.udp(fragment));
    ASSERT_EQ(first.size(), 14U + 1500U);
    EXPECT_EQ(first[16] << 8 | first[17], 1500);
    EXPECT_EQ(first[20] << 8 | first[21], 0x2000);
    EXPECT_EQ(first[34] << 8 | first[35], 1000);
    EXPECT_EQ(first[38] << 8 | first[39], 3000) << "the UDP length is the whole datagram's";

    fragment.fragmentField = 1480 / 8;
    fragment.payloadBytes = 3000 - 1480;
    const auto last = bytes(encoder.udp(fragment));
    ASSERT_EQ(last.size(), 14U + 20U + 1520U);
    EXPECT_EQ(last[20] << 8 | last[21], 185);
    EXPECT_EQ(last[34], 0) << "payload starts right after the IP header";
    EXPECT_EQ(last[35], 1);
}

TEST(FrameEncoderTest, ArpAndIpv6FramesHaveTheirEtherTypesAndLengths) {
    FrameEncoder encoder;
    const auto request = bytes(encoder.arp(false, 0x0A010001, 0x0A010002));
    ASSERT_EQ(request.size(), 14U + 28U);
    EXPECT_EQ(request[0], 0xFF) << "requests are broadcast";
    EXPECT_EQ(request[12] << 8 | request[13], 0x0806);
    EXPECT_EQ(request[21], 1);
    const auto reply = bytes(encoder.arp(true, 0x0A010002, 0x0A010001));
    EXPECT_EQ(reply[21], 2);
    EXPECT_EQ(reply[28] << 24 | reply[29] << 16 | reply[30] << 8 | reply[31], 0x0A010002);

    const auto ipv6 = bytes(encoder.ipv6Udp(5353, 100));
    ASSERT_EQ(ipv6.size(), 14U + 40U + 8U + 100U);
    EXPECT_EQ(ipv6[12] << 8 | ipv6[13], 0x86DD);
    EXPECT_EQ(ipv6[14] >> 4, 6);
    EXPECT_EQ(ipv6[18] << 8 | ipv6[19], 108);
}

}  // namespace
