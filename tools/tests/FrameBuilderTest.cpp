#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "tools/FrameBuilder.h"
#include "tools/WireBytes.h"

namespace {

using korvo::tools::FrameBuilder;

std::uint16_t at16(const std::vector<std::uint8_t>& frame, std::size_t offset) {
    return static_cast<std::uint16_t>(frame.at(offset) << 8 | frame.at(offset + 1));
}

std::uint32_t at32(const std::vector<std::uint8_t>& frame, std::size_t offset) {
    return static_cast<std::uint32_t>(at16(frame, offset)) << 16 | at16(frame, offset + 2);
}

TEST(FrameBuilderTest, TcpFrameHasEveryFieldAtItsOffset) {
    const auto frame =
        FrameBuilder()
            .ipv4(0x0A000001, 0xC0A80102)
            .ipIdentification(0x1234)
            .tcp(40000, 443, 0xDEADBEEF, FrameBuilder::kTcpAck | FrameBuilder::kTcpPsh, 0x01020304)
            .payload(300)
            .build();

    ASSERT_EQ(frame.size(), 14U + 20U + 20U + 300U);
    EXPECT_EQ(at16(frame, 12), 0x0800);
    EXPECT_EQ(frame[14], 0x45);
    EXPECT_EQ(frame[15], 0);
    EXPECT_EQ(at16(frame, 16), 340);
    EXPECT_EQ(at16(frame, 18), 0x1234);
    EXPECT_EQ(at16(frame, 20), 0x4000);
    EXPECT_EQ(frame[22], 64);
    EXPECT_EQ(frame[23], 6);
    EXPECT_EQ(at32(frame, 26), 0x0A000001U);
    EXPECT_EQ(at32(frame, 30), 0xC0A80102U);
    EXPECT_EQ(at16(frame, 34), 40000);
    EXPECT_EQ(at16(frame, 36), 443);
    EXPECT_EQ(at32(frame, 38), 0xDEADBEEFU);
    EXPECT_EQ(at32(frame, 42), 0x01020304U);
    EXPECT_EQ(frame[46], 0x50);
    EXPECT_EQ(frame[47], 0x18);
    EXPECT_EQ(at16(frame, 48), 65535);
    EXPECT_EQ(frame[54], 0);
    EXPECT_EQ(frame[54 + 255], 255);
    EXPECT_EQ(frame[54 + 256], 0);
    EXPECT_EQ(frame[54 + 299], 299 % 256);
}

TEST(FrameBuilderTest, VlanTagShiftsTheIpHeaderByFourBytes) {
    const auto frame = FrameBuilder().vlan(100).ipv4(1, 2).tcp(1, 2, 7).build();

    ASSERT_EQ(frame.size(), 18U + 40U);
    EXPECT_EQ(at16(frame, 12), 0x8100);
    EXPECT_EQ(at16(frame, 14), 100);
    EXPECT_EQ(at16(frame, 16), 0x0800);
    EXPECT_EQ(frame[18], 0x45);
    EXPECT_EQ(at16(frame, 20), 40);
    EXPECT_EQ(at32(frame, 18 + 24), 7U);
}

TEST(FrameBuilderTest, IpChecksumMatchesAKnownHeader) {
    // 45 00 00 73 00 00 40 00 40 11 b8 61 c0 a8 00 01 c0 a8 00 c7: a UDP packet whose checksum is 0xb861.
    const auto frame = FrameBuilder().ipv4(0xC0A80001, 0xC0A800C7).udp(53, 53).payload(0x73 - 28).build();

    EXPECT_EQ(at16(frame, 16), 0x73);
    EXPECT_EQ(at16(frame, 24), 0xB861);
    EXPECT_EQ(at16(frame, 38), 0x73 - 20);
}

TEST(FrameBuilderTest, IpChecksumCoversOptionsAndOverriddenFields) {
    const auto frame = FrameBuilder()
                           .ipv4(0x0A000001, 0x0A000002)
                           .ipHeaderWords(7)
                           .ipTotalLength(9000)
                           .ipFlagsAndOffset(0x2001)
                           .ipIdentification(0xFFFF)
                           .tcp(5, 6, 0)
                           .build();

    ASSERT_EQ(frame.size(), 14U + 28U + 20U);
    EXPECT_EQ(frame[14], 0x47);
    EXPECT_EQ(at16(frame, 16), 9000);
    EXPECT_EQ(at16(frame, 20), 0x2001);
    for (std::size_t option = 34; option < 42; ++option) {
        EXPECT_EQ(frame[option], 0) << "option byte " << option;
    }
    EXPECT_EQ(at16(frame, 42), 5) << "TCP header follows the options";
    const std::span<const std::uint8_t> header(frame.data() + 14, 28);
    EXPECT_EQ(korvo::tools::wire::internetChecksum(header), 0) << "a header with its checksum sums to 0xffff";
}

TEST(FrameBuilderTest, ShortHeaderLengthWritesTheNibbleButKeepsTwentyBytes) {
    const auto frame = FrameBuilder().ipv4(1, 2).ipHeaderWords(3).tcp(5, 6, 0).build();

    ASSERT_EQ(frame.size(), 14U + 20U + 20U);
    EXPECT_EQ(frame[14], 0x43);
    EXPECT_EQ(at16(frame, 16), 40);
    EXPECT_EQ(at16(frame, 34), 5);
}

TEST(FrameBuilderTest, NonIpFrameCarriesZeroPayloadAfterItsEtherType) {
    const auto frame =
        FrameBuilder().ipv4(1, 2).tcp(5, 6, 0).payload(50).nonIp(FrameBuilder::kEtherTypeArp, 28).build();

    ASSERT_EQ(frame.size(), 14U + 28U);
    EXPECT_EQ(at16(frame, 12), 0x0806);
    for (std::size_t i = 14; i < frame.size(); ++i) {
        EXPECT_EQ(frame[i], 0) << "byte " << i;
    }
}

TEST(FrameBuilderTest, OtherIpProtocolPutsPayloadRightAfterTheIpHeader) {
    const auto frame = FrameBuilder().ipv4(1, 2).ipProtocol(1).payload(8).build();

    ASSERT_EQ(frame.size(), 14U + 20U + 8U);
    EXPECT_EQ(frame[23], 1);
    EXPECT_EQ(at16(frame, 16), 28);
    EXPECT_EQ(frame[34 + 7], 7);
}

TEST(FrameBuilderTest, OversizedPacketWithoutOverrideIsRejected) {
    EXPECT_THROW((void)FrameBuilder().ipv4(1, 2).tcp(1, 2, 0).payload(65535 - 40 + 1).build(),
                 std::length_error);
    EXPECT_EQ(FrameBuilder().ipv4(1, 2).tcp(1, 2, 0).payload(65535 - 40).build().size(), 14U + 65535U);
}

}  // namespace
