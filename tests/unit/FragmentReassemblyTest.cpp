// Fragments of tunnel packets put together again: in order, in reverse, overlapping (the bytes seen first
// stand), over IPv6; datagrams that are no tunnel packets forgotten; the timeout and the bound on pending
// datagrams giving up the oldest.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "capture/FragmentReassembly.h"
#include "tools/Encapsulator.h"
#include "tools/FrameBuilder.h"
#include "tools/IpFragmenter.h"

namespace korvo::measurement {
namespace {

using tools::Encapsulator;
using tools::FrameBuilder;
using Frame = std::vector<std::uint8_t>;

constexpr std::uint32_t kEthernetLength = 14;

// A TCP segment of 600 data bytes inside GTP-U, as an Ethernet frame.
Frame tunnelFrame(std::uint16_t port = 1000) {
    const Frame bare = FrameBuilder().ipv4(0x0A000001, 0x0A000002).tcp(port, 80, 1).payload(600).build();
    return Encapsulator::wrap(Encapsulator::Kind::GtpUser, {bare, static_cast<std::uint32_t>(bare.size())})
        .captured;
}

class FragmentReassemblyTest : public ::testing::Test {
protected:
    // Hands the fragment (an Ethernet frame) to the reassembly at `micros`.
    std::optional<FragmentReassembly::Whole> add(const Frame& fragment, std::int64_t micros = 0) {
        const unsigned char* packet = fragment.data() + kEthernetLength;
        const auto captured = static_cast<std::uint32_t>(fragment.size() - kEthernetLength);
        if (fragment[12] == 0x86) {
            return reassembly.addIpv6(packet, captured, captured, 40,
                                      static_cast<std::uint32_t>(fragment.size()), micros);
        }
        return reassembly.addIpv4(packet, captured, captured, static_cast<std::uint32_t>(fragment.size()),
                                  micros);
    }

    // The fragments in `order`: only the last of them completes the packet, which is the frame's own IP
    // packet byte for byte, but for an IPv4 header's identification (the fragments') and fragment field
    // (cleared).
    void expectWholeAtTheLast(Frame frame, const std::vector<Frame>& fragments,
                              const std::vector<std::size_t>& order) {
        if (frame[12] == 0x08) {
            std::copy(fragments[0].begin() + kEthernetLength + 4, fragments[0].begin() + kEthernetLength + 6,
                      frame.begin() + kEthernetLength + 4);
            std::fill(frame.begin() + kEthernetLength + 6, frame.begin() + kEthernetLength + 8, 0);
        }
        std::uint64_t wireBytes = 0;
        for (std::size_t index = 0; index < order.size(); ++index) {
            wireBytes += fragments[order[index]].size();
            const std::optional<FragmentReassembly::Whole> whole = add(fragments[order[index]]);
            ASSERT_EQ(whole.has_value(), index + 1 == order.size()) << index;
            if (whole) {
                EXPECT_EQ(Frame(whole->packet.begin(), whole->packet.end()),
                          Frame(frame.begin() + kEthernetLength, frame.end()));
                EXPECT_EQ(whole->wireBytes, wireBytes);
            }
        }
        EXPECT_EQ(reassembly.incomplete(), 0U);
    }

    FragmentReassembly reassembly;
};

TEST_F(FragmentReassemblyTest, InOrderReversedAndShuffled) {
    const Frame frame = tunnelFrame();
    const std::vector<Frame> fragments = tools::IpFragmenter::fragment(frame, 200, 7);
    ASSERT_EQ(fragments.size(), 4U);
    expectWholeAtTheLast(frame, fragments, {0, 1, 2, 3});
    expectWholeAtTheLast(frame, fragments, {3, 2, 1, 0});
    expectWholeAtTheLast(frame, fragments, {2, 0, 3, 1});
}

TEST_F(FragmentReassemblyTest, OverIpv6) {
    const Frame bare = FrameBuilder().ipv4(0x0A000001, 0x0A000002).tcp(1000, 80, 1).payload(300).build();
    // IPv4 in IPv6: the inner packet behind a fixed IPv6 header whose next header is 4.
    Frame frame = FrameBuilder().ipv6(FrameBuilder::ipv6Of(1), FrameBuilder::ipv6Of(2)).udp(1, 2).build();
    frame.resize(kEthernetLength + 40);
    frame[kEthernetLength + 4] = static_cast<std::uint8_t>((bare.size() - kEthernetLength) >> 8);
    frame[kEthernetLength + 5] = static_cast<std::uint8_t>(bare.size() - kEthernetLength);
    frame[kEthernetLength + 6] = 4;
    frame.insert(frame.end(), bare.begin() + kEthernetLength, bare.end());
    const std::vector<Frame> fragments = tools::IpFragmenter::fragment(frame, 128, 0x12345678);
    ASSERT_EQ(fragments.size(), 3U);
    expectWholeAtTheLast(frame, fragments, {1, 2, 0});
}

TEST_F(FragmentReassemblyTest, OverlappingFragmentsKeepTheBytesSeenFirst) {
    const Frame frame = tunnelFrame();
    const std::vector<Frame> fragments = tools::IpFragmenter::fragment(frame, 200, 7);
    // A copy of the second fragment with other bytes, covering 200 to 400, comes first.
    Frame forged = fragments[1];
    std::fill(forged.end() - 200, forged.end(), 0xEE);
    ASSERT_FALSE(add(forged));
    ASSERT_FALSE(add(fragments[0]));
    ASSERT_FALSE(add(fragments[1]));
    ASSERT_FALSE(add(fragments[3]));
    const std::optional<FragmentReassembly::Whole> whole = add(fragments[2]);
    ASSERT_TRUE(whole);
    const std::size_t headerLength = 20;
    EXPECT_TRUE(std::all_of(whole->packet.begin() + headerLength + 200,
                            whole->packet.begin() + headerLength + 400,
                            [](unsigned char byte) { return byte == 0xEE; }));
    EXPECT_TRUE(std::equal(whole->packet.begin() + headerLength + 400, whole->packet.end(),
                           frame.begin() + kEthernetLength + headerLength + 400));
}

TEST_F(FragmentReassemblyTest, OtherDatagramsAreForgotten) {
    const Frame dns = FrameBuilder().ipv4(0x0A000001, 0x0A000002).udp(5353, 53).payload(900).build();
    for (const Frame& fragment : tools::IpFragmenter::fragment(dns, 400, 9)) {
        EXPECT_FALSE(add(fragment));
    }
    EXPECT_EQ(reassembly.incomplete(), 0U);
}

TEST_F(FragmentReassemblyTest, TimeoutGivesUpAPacket) {
    const std::vector<Frame> fragments = tools::IpFragmenter::fragment(tunnelFrame(), 200, 7);
    EXPECT_FALSE(add(fragments[0], 0));
    EXPECT_FALSE(add(fragments[1], 10'000'000));
    // Past 30 s after the first fragment the datagram is given up; what follows starts a new one.
    EXPECT_FALSE(add(fragments[2], FragmentReassembly::kTimeoutMicros + 1));
    EXPECT_FALSE(add(fragments[3], FragmentReassembly::kTimeoutMicros + 2));
    EXPECT_EQ(reassembly.incomplete(), 1U);
}

TEST_F(FragmentReassemblyTest, TheOldestPendingPacketIsGivenUpFirst) {
    std::vector<std::vector<Frame>> datagrams;
    for (std::uint32_t id = 0; id <= FragmentReassembly::kMostPending; ++id) {
        datagrams.push_back(tools::IpFragmenter::fragment(tunnelFrame(), 400, id));
        ASSERT_EQ(datagrams.back().size(), 2U);
        ASSERT_FALSE(add(datagrams.back()[0]));
    }
    EXPECT_EQ(reassembly.incomplete(), FragmentReassembly::kMostPending + 1);
    // The first was pushed out by the last: its second fragment starts a datagram of its own.
    EXPECT_FALSE(add(datagrams[0][1]));
    EXPECT_TRUE(add(datagrams[2][1]));
}

}  // namespace
}  // namespace korvo::measurement
