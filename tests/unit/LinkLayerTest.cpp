// Where the IPv4 header lies for each link type, and that a frame cut anywhere before a deciding field is
// left alone. Every frame is a vector of exactly its captured bytes, so the sanitizer build catches a read
// past them.

#include <gtest/gtest.h>
#include <pcap/dlt.h>

#include <cstdint>
#include <vector>

#include "capture/LinkLayer.h"
#include "support/LinkFraming.h"
#include "tools/FrameBuilder.h"

namespace korvo::measurement {
namespace {

using Carried = LinkLayer::Carried;

constexpr int kNull = DLT_NULL;
constexpr int kRaw = LinkLayer::kLinktypeRaw;
constexpr int kLoop = DLT_LOOP;
constexpr int kCooked = DLT_LINUX_SLL;
constexpr int kIPv4 = DLT_IPV4;
constexpr int kCooked2 = DLT_LINUX_SLL2;

// The first `length` bytes of `frame`, in a block of exactly that size.
std::vector<unsigned char> cut(const std::vector<unsigned char>& frame, std::size_t length) {
    return {frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(length)};
}

LinkLayer::Found find(int linkType, const std::vector<unsigned char>& frame) {
    return LinkLayer(linkType).find(frame.data(), static_cast<std::uint32_t>(frame.size()));
}

// A frame of `length` bytes, zero but for an EtherType at `typeOffset` and, when tagged, one inside the tag.
std::vector<unsigned char> typedFrame(std::size_t length, std::size_t typeOffset, std::uint16_t type,
                                      std::size_t innerOffset = 0, std::uint16_t inner = 0) {
    std::vector<unsigned char> frame(length, 0);
    frame[typeOffset] = static_cast<unsigned char>(type >> 8);
    frame[typeOffset + 1] = static_cast<unsigned char>(type);
    if (innerOffset != 0) {
        frame[innerOffset] = static_cast<unsigned char>(inner >> 8);
        frame[innerOffset + 1] = static_cast<unsigned char>(inner);
    }
    return frame;
}

struct TypedLayout {
    int linkType;
    std::size_t typeOffset;
    std::size_t headerLength;
};

class TypedLinkTest : public ::testing::TestWithParam<TypedLayout> {};

TEST_P(TypedLinkTest, IPv4PlainAndTaggedAtTheHeaderEnd) {
    const TypedLayout layout = GetParam();
    const auto plain = find(layout.linkType, typedFrame(64, layout.typeOffset, 0x0800));
    EXPECT_EQ(plain.carried, Carried::IPv4);
    EXPECT_EQ(plain.ipOffset, layout.headerLength);
    const auto tagged =
        find(layout.linkType, typedFrame(64, layout.typeOffset, 0x8100, layout.headerLength + 2, 0x0800));
    EXPECT_EQ(tagged.carried, Carried::IPv4);
    EXPECT_EQ(tagged.ipOffset, layout.headerLength + 4);
}

TEST_P(TypedLinkTest, WhatATagCarriesDecides) {
    const TypedLayout layout = GetParam();
    const std::size_t inner = layout.headerLength + 2;
    EXPECT_EQ(find(layout.linkType, typedFrame(64, layout.typeOffset, 0x8100, inner, 0x0806)).carried,
              Carried::Other);
    EXPECT_EQ(find(layout.linkType, typedFrame(64, layout.typeOffset, 0x8100, inner, 0x86DD)).carried,
              Carried::IPv6);
    EXPECT_EQ(find(layout.linkType, typedFrame(64, layout.typeOffset, 0x8100, inner, 0x8100)).carried,
              Carried::Encapsulated);
    EXPECT_EQ(find(layout.linkType, typedFrame(64, layout.typeOffset, 0x88A8)).carried,
              Carried::Encapsulated);
    EXPECT_EQ(find(layout.linkType, typedFrame(64, layout.typeOffset, 0x86DD)).carried, Carried::IPv6);
}

// Cut before the protocol field is whole, the frame carries nothing; cut inside the tag, likewise.
TEST_P(TypedLinkTest, FieldsThatWereNotCapturedAreNotRead) {
    const TypedLayout layout = GetParam();
    const auto plain = typedFrame(layout.typeOffset + 2, layout.typeOffset, 0x86DD);
    for (std::size_t length = 0; length < plain.size(); ++length) {
        EXPECT_EQ(find(layout.linkType, cut(plain, length)).carried, Carried::Other) << length;
    }
    EXPECT_EQ(find(layout.linkType, plain).carried, Carried::IPv6);
    const auto tagged =
        typedFrame(layout.headerLength + 4, layout.typeOffset, 0x8100, layout.headerLength + 2, 0x86DD);
    for (std::size_t length = layout.typeOffset + 2; length < tagged.size(); ++length) {
        EXPECT_EQ(find(layout.linkType, cut(tagged, length)).carried, Carried::Other) << length;
    }
    EXPECT_EQ(find(layout.linkType, tagged).carried, Carried::IPv6);
}

INSTANTIATE_TEST_SUITE_P(Layouts, TypedLinkTest,
                         ::testing::Values(TypedLayout{LinkLayer::kEthernet, 12, 14},
                                           TypedLayout{kCooked, 14, 16}, TypedLayout{kCooked2, 0, 20}));

TEST(LinkLayerTest, RawIpByVersionNibble) {
    EXPECT_EQ(find(kRaw, {0x45, 0}).carried, Carried::IPv4);
    EXPECT_EQ(find(kRaw, {0x45, 0}).ipOffset, 0U);
    EXPECT_EQ(find(kRaw, {0x60, 0}).carried, Carried::IPv6);
    EXPECT_EQ(find(kRaw, {0x05, 0}).carried, Carried::Other);
    EXPECT_EQ(find(kRaw, {}).carried, Carried::Other);
    // The IPv4 link type needs no version: whatever the first byte, the frame is taken as IPv4.
    EXPECT_EQ(find(kIPv4, {0x05}).carried, Carried::IPv4);
}

TEST(LinkLayerTest, LoopbackFamilies) {
    const std::vector<unsigned char> little = {2, 0, 0, 0, 0x45};
    const std::vector<unsigned char> big = {0, 0, 0, 2, 0x45};
    EXPECT_EQ(find(kNull, little).carried, Carried::IPv4);
    EXPECT_EQ(find(kNull, little).ipOffset, 4U);
    EXPECT_EQ(find(kNull, big).carried, Carried::IPv4);
    EXPECT_EQ(find(kNull, big).ipOffset, 4U);
    EXPECT_EQ(find(kNull, {24, 0, 0, 0}).carried, Carried::IPv6);
    EXPECT_EQ(find(kNull, {0, 0, 0, 2}).carried, Carried::IPv4);
    EXPECT_EQ(find(kNull, {0, 0, 0, 7}).carried, Carried::Other);
    // LOOP is in network order only.
    EXPECT_EQ(find(kLoop, big).carried, Carried::IPv4);
    EXPECT_EQ(find(kLoop, little).carried, Carried::Other);
    for (std::size_t length = 0; length < 4; ++length) {
        EXPECT_EQ(find(kNull, cut(big, length)).carried, Carried::Other) << length;
        EXPECT_EQ(find(kLoop, cut(big, length)).carried, Carried::Other) << length;
    }
}

TEST(LinkLayerTest, OnlyTheListedLinkTypesAreDecoded) {
    for (const int linkType : {kNull, LinkLayer::kEthernet, 9, 10, 12, 14, 50, kRaw, 104, 105, kLoop, kCooked,
                               127, 192, kIPv4, 239, kCooked2}) {
        EXPECT_TRUE(LinkLayer::decodes(linkType, false)) << linkType;
    }
    // The IPv6 link type carries nothing else, so it is decoded only when IPv6 is analysed.
    EXPECT_TRUE(LinkLayer::decodes(DLT_IPV6, true));
    for (const int linkType : {147, 195, 201, 229}) {
        EXPECT_FALSE(LinkLayer::decodes(linkType, false)) << linkType;
        EXPECT_EQ(find(linkType, typedFrame(64, 12, 0x0800)).carried,
                  linkType == DLT_IPV6 ? Carried::IPv6 : Carried::Other);
    }
}

// The link types with a header of their own: a TCP segment over IPv4 and IPv6 cut at every byte. Before the
// header is whole the frame is cut short; from then on the packet is found where the whole frame has it.
TEST(LinkLayerTest, OwnHeadersCutAtEveryByte) {
    for (const bool ipv6 : {false, true}) {
        tools::FrameBuilder builder;
        if (ipv6) {
            builder.ipv6(tools::FrameBuilder::ipv6Of(0x0A000001), tools::FrameBuilder::ipv6Of(0x0A000002));
        } else {
            builder.ipv4(0x0A000001, 0x0A000002);
        }
        const std::vector<std::uint8_t> ethernet = builder.tcp(1000, 80, 1).payload(4).build();
        for (const e2e::LinkType& linkType : e2e::LinkFraming::ipv6LinkTypes()) {
            if (!LinkLayer::decodes(static_cast<int>(linkType.number), false) ||
                linkType.number == DLT_IPV6 || linkType.number == DLT_LINUX_SLL ||
                linkType.number == DLT_LINUX_SLL2 || linkType.number == DLT_NULL ||
                linkType.number == DLT_LOOP || linkType.number == static_cast<std::uint32_t>(kRaw) ||
                linkType.number == DLT_RAW || linkType.number == LinkLayer::kBsdOsRaw) {
                continue;
            }
            SCOPED_TRACE(linkType.name + (ipv6 ? " IPv6" : " IPv4"));
            const auto reframed = e2e::LinkFraming::reframe(ethernet, linkType);
            const std::vector<unsigned char> frame(reframed.begin(), reframed.end());
            const LinkLayer::Found whole = find(static_cast<int>(linkType.number), frame);
            ASSERT_EQ(whole.carried, ipv6 ? Carried::IPv6 : Carried::IPv4);
            ASSERT_EQ(frame[whole.ipOffset] >> 4, ipv6 ? 6 : 4);
            for (std::size_t length = 0; length < frame.size(); ++length) {
                const LinkLayer::Found found = find(static_cast<int>(linkType.number), cut(frame, length));
                if (found.carried != Carried::CutShort) {
                    EXPECT_EQ(found.carried, whole.carried) << length;
                    EXPECT_EQ(found.ipOffset, whole.ipOffset) << length;
                }
                EXPECT_EQ(found.carried == Carried::CutShort, length < whole.ipOffset) << length;
            }
        }
    }
}

// 802.11: the body of a protected data frame and a fragment of a body are left out, frames without a body
// carry nothing, and the fourth address, QoS and HT control fields move the body along.
TEST(LinkLayerTest, WirelessHeaders) {
    const std::vector<unsigned char> snapIpv4 = {0xAA, 0xAA, 0x03, 0, 0, 0, 0x08, 0x00, 0x45};
    const auto frame = [&](unsigned char control, unsigned char flags, std::size_t headerLength) {
        std::vector<unsigned char> bytes(headerLength, 0);
        bytes[0] = control;
        bytes[1] = flags;
        bytes.insert(bytes.end(), snapIpv4.begin(), snapIpv4.end());
        return bytes;
    };
    constexpr int k80211 = DLT_IEEE802_11;
    EXPECT_EQ(find(k80211, frame(0x08, 0x01, 24)).ipOffset, 32U);
    EXPECT_EQ(find(k80211, frame(0x08, 0x03, 30)).ipOffset, 38U);
    EXPECT_EQ(find(k80211, frame(0x88, 0x02, 26)).ipOffset, 34U);
    EXPECT_EQ(find(k80211, frame(0x88, 0x82, 30)).ipOffset, 38U);
    EXPECT_EQ(find(k80211, frame(0x08, 0x41, 24)).carried, Carried::Unreadable);
    // The first fragment of a larger body (more fragments), and a later one (fragment number 2).
    EXPECT_EQ(find(k80211, frame(0x08, 0x05, 24)).carried, Carried::Unreadable);
    std::vector<unsigned char> later = frame(0x08, 0x01, 24);
    later[22] = 0x02;
    EXPECT_EQ(find(k80211, later).carried, Carried::Unreadable);
    // Null function, QoS null, a management frame (beacon): no body to read.
    for (const int control : {0x48, 0xC8, 0x80}) {
        EXPECT_EQ(find(k80211, frame(static_cast<unsigned char>(control), 0x01, 24)).carried, Carried::Other)
            << control;
    }
    // An aggregate (A-MSDU) body holds several packets behind headers of their own: not lifted.
    std::vector<unsigned char> aggregate = frame(0x88, 0x02, 26);
    aggregate[24] = 0x80;
    EXPECT_EQ(find(k80211, aggregate).carried, Carried::Other);
}

}  // namespace
}  // namespace korvo::measurement
