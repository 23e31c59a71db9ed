// Flow keys: the hash must not depend on the direction, equality must, and the text must read back the
// addresses and ports as they travel on the wire.

#include <gtest/gtest.h>

#include <vector>

#include "capture/FlowTuple.h"
#include "tools/FrameBuilder.h"

namespace korvo::measurement {
namespace {

using tools::FrameBuilder;

constexpr std::uint32_t kEthernetLength = 14;

FlowTuple tcpTuple(std::uint32_t source, std::uint16_t sourcePort, std::uint32_t destination,
                   std::uint16_t destinationPort, std::uint8_t headerWords = 5) {
    const std::vector<std::uint8_t> frame = FrameBuilder()
                                                .ipv4(source, destination)
                                                .ipHeaderWords(headerWords)
                                                .tcp(sourcePort, destinationPort, 1)
                                                .build();
    return FlowTuple(reinterpret_cast<const net::ip*>(frame.data() + kEthernetLength));
}

TEST(FlowTuple, ReadsAddressesAndPortsBehindIpOptions) {
    const FlowTuple plain = tcpTuple(0x0A000001, 1234, 0xC0A80114, 80);
    EXPECT_EQ(plain.toString(), "TCP 10.0.0.1:1234 -> 192.168.1.20:80");
    const FlowTuple withOptions = tcpTuple(0x0A000001, 1234, 0xC0A80114, 80, 6);
    EXPECT_EQ(withOptions.toString(), "TCP 10.0.0.1:1234 -> 192.168.1.20:80");
    EXPECT_EQ(plain.reversed().toString(), "TCP 192.168.1.20:80 -> 10.0.0.1:1234");
}

TEST(FlowTuple, HashIsDirectionIndependentEqualityIsNot) {
    const FlowTuple tuple = tcpTuple(0x0A000001, 1234, 0x0A000002, 80);
    EXPECT_EQ(tuple.flowHash(), tuple.reversed().flowHash());
    EXPECT_FALSE(tuple == tuple.reversed());
    EXPECT_TRUE(tuple == tuple.reversed().reversed());
}

TEST(FlowTuple, SwappedPortsShareTheHashButAreDifferentFlows) {
    const FlowTuple first = tcpTuple(0x0A000001, 1000, 0x0A000002, 2000);
    const FlowTuple second = tcpTuple(0x0A000001, 2000, 0x0A000002, 1000);
    EXPECT_EQ(first.flowHash(), second.flowHash());
    EXPECT_FALSE(first == second);
    EXPECT_FALSE(first == second.reversed());
    EXPECT_FALSE(second == first.reversed());
}

TEST(FlowTuple, HashSumsWireBytesLeastSignificantFirst) {
    // Wire bytes 10.0.0.1 contribute 10 + 1 * 2^24; 10.0.0.2 contribute 10 + 2 * 2^24; port 80 (wire 00 50)
    // contributes 0x5000 and port 1234 (wire 04 D2) contributes 0xD204; protocol 6.
    const FlowTuple tuple = tcpTuple(0x0A000001, 1234, 0x0A000002, 80);
    const std::uint32_t expected = 6U + (10U + (1U << 24)) + (10U + (2U << 24)) + 0x5000U + 0xD204U;
    EXPECT_EQ(tuple.flowHash(), static_cast<std::int32_t>(expected));
}

TEST(FlowTuple, LargeAddressesWrapToNegativeHashes) {
    const FlowTuple tuple = tcpTuple(0xFFFFFFFF, 65535, 0xC0000001, 65535);
    // 255.255.255.255 contributes 0xFFFFFFFF, 192.0.0.1 contributes 0x010000C0.
    const std::uint32_t expected = 6U + 0xFFFFFFFFU + 0x010000C0U + 0xFFFFU + 0xFFFFU;
    EXPECT_EQ(tuple.flowHash(), static_cast<std::int32_t>(expected));
    // 10.0.0.128 contributes 0x8000000A, which lifts the sum into the negative half.
    EXPECT_LT(tcpTuple(0x0A000080, 1, 0x0A000001, 2).flowHash(), 0);
    EXPECT_EQ(tuple.toString(), "TCP 255.255.255.255:65535 -> 192.0.0.1:65535");
}

TEST(FlowTuple, OtherProtocolsIgnorePorts) {
    std::vector<std::uint8_t> frame =
        FrameBuilder().ipv4(0x0A000001, 0x0A000002).ipProtocol(1).payload(8).build();
    const FlowTuple icmp(reinterpret_cast<const net::ip*>(frame.data() + kEthernetLength));
    EXPECT_EQ(icmp.toString(), "Unknown/1 10.0.0.1 -> 10.0.0.2");
    FlowTuple differentPorts = icmp;
    differentPorts.sourcePort = 7;
    EXPECT_TRUE(icmp == differentPorts);
    EXPECT_EQ(icmp.flowHash(), differentPorts.flowHash());
}

TEST(FlowTuple, SameEndpointsEqualTheirReversal) {
    const FlowTuple loop = tcpTuple(0x7F000001, 5000, 0x7F000001, 5000);
    EXPECT_TRUE(loop == loop.reversed());
}

}  // namespace
}  // namespace korvo::measurement
