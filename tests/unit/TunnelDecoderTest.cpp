// Every encapsulation cut at every byte: read from a block of exactly the captured bytes, so that the
// sanitizer build catches a read past them, the walk never reaches the inner packet before its fixed header
// is whole, calls the frame damaged once it is inside the tunnel, and finds the inner packet once it is
// there.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "capture/LinkLayer.h"
#include "capture/TunnelDecoder.h"
#include "tools/Encapsulator.h"
#include "tools/FrameBuilder.h"

namespace korvo::measurement {
namespace {

using tools::Encapsulator;
using Kind = Encapsulator::Kind;

constexpr std::uint32_t kEthernetLength = 14;
constexpr std::uint32_t kIpv4Length = 20;
constexpr std::uint32_t kUdpLength = 8;
constexpr std::uint32_t kSnapLength = 8;

TunnelDecoder::Path follow(const std::vector<std::uint8_t>& frame, std::size_t length) {
    const std::vector<unsigned char> captured(frame.begin(),
                                              frame.begin() + static_cast<std::ptrdiff_t>(length));
    const auto capturedLength = static_cast<std::uint32_t>(captured.size());
    return TunnelDecoder::follow(captured.data(), capturedLength,
                                 LinkLayer().start(captured.data(), capturedLength));
}

// Where the frame is known to be inside a tunnel: past the outer link header, past the SNAP header, past
// the outer IPv4 header, or past the UDP header whose port names the tunnel.
std::uint32_t tunnelStart(Kind kind) {
    switch (kind) {
        case Kind::StackedVlan:
        case Kind::Mpls:
        case Kind::MplsPseudowire:
        case Kind::Pppoe:
        case Kind::PppoeCompressed:
        case Kind::Backbone:
        case Kind::FabricPath:
            return kEthernetLength;
        case Kind::LlcSnap:
            return kEthernetLength + kSnapLength;
        case Kind::Vxlan:
        case Kind::Geneve:
        case Kind::GtpUser:
        case Kind::GreInUdp:
        case Kind::VxlanGpe:
        case Kind::Ayiya:
        case Kind::Capwap:
            return kEthernetLength + kIpv4Length + kUdpLength;
        default:
            return kEthernetLength + kIpv4Length;
    }
}

TEST(TunnelDecoderTest, EveryEncapsulationCutAtEveryByte) {
    const std::vector<std::uint8_t> bare = tools::FrameBuilder()
                                               .ipv4(0x0A000001, 0x0A000002)
                                               .tcp(1000, 80, 1, tools::FrameBuilder::kTcpAck)
                                               .payload(6)
                                               .build();
    for (const Kind kind : Encapsulator::kinds()) {
        SCOPED_TRACE(Encapsulator::nameOf(kind));
        const Encapsulator::Frame wrapped =
            Encapsulator::wrap(kind, {bare, static_cast<std::uint32_t>(bare.size())});
        const std::vector<std::uint8_t>& frame = wrapped.captured;
        const auto inner = static_cast<std::uint32_t>(frame.size() - (bare.size() - kEthernetLength));
        for (std::size_t length = 0; length <= frame.size(); ++length) {
            SCOPED_TRACE(length);
            const TunnelDecoder::Path path = follow(frame, length);
            if (length >= inner + kIpv4Length) {
                EXPECT_EQ(path.innermost, (TunnelDecoder::IpAt{TunnelDecoder::Version::IPv4, inner}));
                EXPECT_FALSE(path.damaged);
                EXPECT_GE(path.encapsulations, 1U);
                EXPECT_EQ(path.tunnelled, kind != Kind::StackedVlan);
                continue;
            }
            EXPECT_NE(path.innermost.offset, inner);
            EXPECT_EQ(path.damaged, length >= tunnelStart(kind));
        }
    }
}

// Nine nested encapsulations are one too many: the walk stops at the eighth, inside the packet it reached.
TEST(TunnelDecoderTest, EightEncapsulationsAndNoMore) {
    const std::vector<std::uint8_t> bare =
        tools::FrameBuilder().ipv4(0x0A000001, 0x0A000002).tcp(1000, 80, 1).build();
    Encapsulator::Frame frame{bare, static_cast<std::uint32_t>(bare.size())};
    for (unsigned level = 1; level <= 9; ++level) {
        frame = Encapsulator::wrap(level % 2 == 0 ? Kind::IpInIp : Kind::Vxlan, frame);
        const TunnelDecoder::Path path = follow(frame.captured, frame.captured.size());
        EXPECT_EQ(path.damaged, level == 9) << level;
        EXPECT_EQ(path.encapsulations, std::min(level, TunnelDecoder::kMostEncapsulations)) << level;
        EXPECT_EQ(path.outermost.offset, kEthernetLength);
        EXPECT_EQ(path.innermost.offset == frame.captured.size() - (bare.size() - kEthernetLength),
                  level < 9);
    }
}

}  // namespace
}  // namespace korvo::measurement
