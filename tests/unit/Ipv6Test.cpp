// IPv6 packets: the walk over extension headers never leaves the captured bytes and stops where it must, and
// addresses read back in their RFC 5952 text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/Ipv6FlowTuple.h"
#include "capture/Ipv6HeaderChain.h"
#include "tools/FrameBuilder.h"

namespace korvo::measurement {
namespace {

using tools::FrameBuilder;

constexpr std::uint32_t kEthernetLength = 14;
constexpr std::uint8_t kHopByHop = 0;
constexpr std::uint8_t kDestinationOptions = 60;
constexpr std::uint8_t kAuthentication = 51;

// The IPv6 packet of an Ethernet frame, copied so that reading past its end is caught by the sanitizers.
std::vector<unsigned char> packetOf(const FrameBuilder& builder) {
    const std::vector<std::uint8_t> frame = builder.build();
    return {frame.begin() + kEthernetLength, frame.end()};
}

Ipv6HeaderChain::Walk walk(const std::vector<unsigned char>& packet, std::size_t captured) {
    const std::vector<unsigned char> cut(packet.begin(),
                                         packet.begin() + static_cast<std::ptrdiff_t>(captured));
    return Ipv6HeaderChain::walk(cut.data(), static_cast<std::uint32_t>(cut.size()));
}

TEST(Ipv6HeaderChain, ReachesTheTransportOnlyWhenTheWholeChainWasCaptured) {
    const std::vector<unsigned char> packet =
        packetOf(FrameBuilder()
                     .ipv6({}, {})
                     .ipv6Extension(kHopByHop, {0, 0, 1, 4, 0, 0, 0, 0})
                     .ipv6Extension(kAuthentication, std::vector<std::uint8_t>(24))
                     .ipv6Extension(kDestinationOptions, std::vector<std::uint8_t>(16))
                     .tcp(1, 2, 3));
    // Authentication counts its length in 4-byte words less two: 24 bytes is 4.
    std::vector<unsigned char> fixed = packet;
    fixed[40 + 8 + 1] = 4;
    fixed[40 + 8 + 24 + 1] = 1;
    const std::uint32_t chainEnd = 40 + 8 + 24 + 16;
    for (std::size_t captured = 40; captured <= fixed.size(); ++captured) {
        const Ipv6HeaderChain::Walk result = walk(fixed, captured);
        EXPECT_EQ(result.reached, captured >= chainEnd) << captured;
        if (result.reached) {
            EXPECT_EQ(result.transportProtocol, 6);
            EXPECT_EQ(result.transportOffset, chainEnd);
        }
    }
}

TEST(Ipv6HeaderChain, EightHeadersAreWalkedANinthIsNot) {
    for (const int headers : {8, 9}) {
        FrameBuilder builder;
        builder.ipv6({}, {});
        for (int header = 0; header < headers; ++header) {
            builder.ipv6Extension(kDestinationOptions, std::vector<std::uint8_t>(8));
        }
        const std::vector<unsigned char> packet = packetOf(builder.tcp(1, 2, 3));
        EXPECT_EQ(walk(packet, packet.size()).reached, headers == 8) << headers;
    }
}

TEST(Ipv6HeaderChain, FragmentsStopTheWalkAtomicFragmentsDoNot) {
    const auto fragment = [](std::uint8_t offsetHigh, std::uint8_t offsetLowAndMore) {
        return packetOf(FrameBuilder()
                            .ipv6({}, {})
                            .ipv6Extension(44, {0, 0, offsetHigh, offsetLowAndMore, 0, 0, 0, 1})
                            .tcp(1, 2, 3));
    };
    for (const auto& [high, low, isFragment] :
         {std::tuple{0, 0, false}, {0, 1, true}, {0, 8, true}, {1, 0, true}, {0, 6, false}}) {
        const std::vector<unsigned char> packet =
            fragment(static_cast<std::uint8_t>(high), static_cast<std::uint8_t>(low));
        const Ipv6HeaderChain::Walk result = walk(packet, packet.size());
        EXPECT_EQ(result.fragment, isFragment) << high << "/" << low;
        EXPECT_EQ(result.reached, !isFragment) << high << "/" << low;
    }
}

TEST(Ipv6HeaderChain, FindsTheJumboPayloadLengthAmongHopByHopOptions) {
    // Pad1, a PadN of two bytes, then the jumbo payload option.
    const std::vector<unsigned char> packet = packetOf(
        FrameBuilder()
            .ipv6({}, {})
            .ipv6Extension(kHopByHop, {0, 1, 0, 1, 0, 0xC2, 4, 0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0, 0})
            .tcp(1, 2, 3));
    EXPECT_EQ(walk(packet, packet.size()).jumboPayloadLength, 0x01020304U);
    // An option whose length runs past its header ends the search.
    const std::vector<unsigned char> broken =
        packetOf(FrameBuilder().ipv6({}, {}).ipv6Extension(kHopByHop, {0, 0, 1, 9, 0, 0, 0, 0}).tcp(1, 2, 3));
    const Ipv6HeaderChain::Walk result = walk(broken, broken.size());
    EXPECT_EQ(result.jumboPayloadLength, 0U);
    EXPECT_TRUE(result.reached);
}

std::string addressText(const Ipv6FlowTuple::Address& address) {
    char text[Ipv6FlowTuple::kMostAddressLength];
    return {text, Ipv6FlowTuple::writeAddress(text, address)};
}

TEST(Ipv6FlowTuple, AddressesReadInTheirRecommendedText) {
    using A = Ipv6FlowTuple::Address;
    EXPECT_EQ(addressText(A{}), "::");
    EXPECT_EQ(addressText(A{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), "::1");
    EXPECT_EQ(addressText(A{0x20, 0x01, 0x0d, 0xb8}), "2001:db8::");
    // A single zero group stays; of two equally long runs the first is compressed; the longer one wins.
    EXPECT_EQ(addressText(A{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}),
              "2001:db8:0:1:1:1:1:1");
    EXPECT_EQ(addressText(A{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1}),
              "2001:db8::1:0:0:1");
    EXPECT_EQ(addressText(A{0x20, 0x01, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}), "2001:0:0:1::1");
    EXPECT_EQ(addressText(A{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD, 0x00, 0xEF, 0xFF, 0xFF, 0xFF, 0xFF}),
              "fe80::abcd:ef:ffff:ffff");
    EXPECT_EQ(addressText(A{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 192, 0, 2, 255}), "::ffff:192.0.2.255");
    // The longest text there is.
    const A full{0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0,
                 0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0};
    EXPECT_EQ(addressText(full), "1234:5678:9abc:def0:1234:5678:9abc:def0");
}

}  // namespace
}  // namespace korvo::measurement
