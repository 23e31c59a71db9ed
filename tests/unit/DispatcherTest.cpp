// Where the dispatchers find the next header (behind a tag, behind IP options) and which frames they hand
// on, never reading past the captured bytes.

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <vector>

#include "capture/IPPacketDispatcher.h"
#include "capture/TCPPacketDispatcher.h"
#include "tools/FrameBuilder.h"

namespace korvo::measurement {
namespace {

using tools::FrameBuilder;

template <typename Packet>
class Collector : public Receiver<Packet> {
public:
    using Receiver<Packet>::Receiver;
    void handlePacket(const Packet& packet) override { packets.push_back(packet); }
    std::vector<Packet> packets;
};

class DispatcherTest : public ::testing::Test {
protected:
    void send(const std::vector<std::uint8_t>& frame, std::size_t captured, std::uint32_t wireLength = 1514) {
        ethernet(EthernetPacket{reinterpret_cast<const net::ether_header*>(frame.data()), wireLength,
                                static_cast<std::uint32_t>(captured), 7,
                                boost::posix_time::ptime(boost::gregorian::date(2001, 2, 3))});
    }
    void send(const std::vector<std::uint8_t>& frame) { send(frame, frame.size()); }

    EthernetSignal ethernet;
    IPPacketDispatcher ipDispatcher{ethernet};
    TCPPacketDispatcher tcpDispatcher{ipDispatcher};
    Collector<IPPacket> ipPackets{ipDispatcher.signal};
    Collector<IPPacket> fragments{ipDispatcher.fragmentSource.signal};
    Collector<TCPPacket> tcpPackets{tcpDispatcher.signal};
};

TEST_F(DispatcherTest, TaggedFrameCarriesTheSameFieldsAtEveryLevel) {
    const std::vector<std::uint8_t> frame = FrameBuilder().vlan(12).tcp(1, 2, 3).build();
    send(frame);
    ASSERT_EQ(ipPackets.packets.size(), 1U);
    ASSERT_EQ(tcpPackets.packets.size(), 1U);
    const auto* base = frame.data();
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(ipPackets.packets[0].header), base + 18);
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(tcpPackets.packets[0].header), base + 38);
    EXPECT_EQ(tcpPackets.packets[0].length, 1514U);
    EXPECT_EQ(tcpPackets.packets[0].packetNumber, 7U);
    EXPECT_EQ(tcpPackets.packets[0].capturedLength, frame.size() - 38);
}

TEST_F(DispatcherTest, IpOptionsMoveTheTcpHeader) {
    const std::vector<std::uint8_t> frame = FrameBuilder().ipHeaderWords(6).tcp(1, 2, 3).build();
    send(frame);
    ASSERT_EQ(tcpPackets.packets.size(), 1U);
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(tcpPackets.packets[0].header), frame.data() + 14 + 24);
}

TEST_F(DispatcherTest, FragmentsGoToTheirOwnEmitterOnly) {
    for (const std::uint16_t field : std::initializer_list<std::uint16_t>{0x2000, 0x0001, 0x20B9}) {
        send(FrameBuilder().ipFlagsAndOffset(field).tcp(1, 2, 3).build());
    }
    send(FrameBuilder().ipFlagsAndOffset(0x4000).tcp(1, 2, 3).build());
    EXPECT_EQ(fragments.packets.size(), 3U);
    EXPECT_EQ(ipPackets.packets.size(), 1U);
    EXPECT_EQ(tcpPackets.packets.size(), 1U);
}

TEST_F(DispatcherTest, OtherEtherTypesAndProtocolsStopAtTheirLevel) {
    send(FrameBuilder().nonIp(FrameBuilder::kEtherTypeArp, 28).build());
    send(FrameBuilder().nonIp(FrameBuilder::kEtherTypeIPv6, 40).build());
    EXPECT_TRUE(ipPackets.packets.empty());
    send(FrameBuilder().udp(1, 2).build());
    EXPECT_EQ(ipPackets.packets.size(), 1U);
    EXPECT_TRUE(tcpPackets.packets.empty());
}

TEST_F(DispatcherTest, FramesCutBeforeAHeaderEndsGoNoHigher) {
    const std::vector<std::uint8_t> plain = FrameBuilder().tcp(1, 2, 3).build();
    const std::vector<std::uint8_t> tagged = FrameBuilder().vlan(5).tcp(1, 2, 3).build();
    send(plain, 0);
    send(plain, 13);
    send(plain, 33);
    send(tagged, 37);
    EXPECT_TRUE(ipPackets.packets.empty());
    send(plain, 34);
    send(tagged, 38);
    EXPECT_EQ(ipPackets.packets.size(), 2U);
    EXPECT_TRUE(tcpPackets.packets.empty());
    send(plain, 53);
    EXPECT_TRUE(tcpPackets.packets.empty());
    send(plain, 54);
    EXPECT_EQ(tcpPackets.packets.size(), 1U);
}

}  // namespace
}  // namespace korvo::measurement
