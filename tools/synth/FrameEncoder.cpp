#include "tools/synth/FrameEncoder.h"

#include <algorithm>
#include <cstring>

#include "tools/FrameBuilder.h"
#include "tools/WireBytes.h"

namespace korvo::tools::synth {

namespace {

constexpr std::size_t kLargestFrame = 18 + 65535;
constexpr std::uint8_t kDestinationMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
constexpr std::uint8_t kSourceMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr std::uint8_t kBroadcastMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;
constexpr std::uint16_t kEtherTypeVlan = 0x8100;
constexpr std::uint16_t kEtherTypeArp = 0x0806;
constexpr std::uint16_t kEtherTypeIpv6 = 0x86DD;
constexpr std::uint8_t kProtocolUdp = 17;
constexpr std::uint32_t kIpv4HeaderBytes = 20;
constexpr std::uint32_t kIpv6HeaderBytes = 40;
constexpr std::uint32_t kArpBodyBytes = 28;

}  // namespace

// The pattern holds 0..255 repeated, so a payload of any length starting at pattern_[0] matches
// FrameBuilder's payload bytes.
FrameEncoder::FrameEncoder() : buffer_(kLargestFrame), pattern_(kLargestFrame) {
    for (std::size_t i = 0; i < pattern_.size(); ++i) {
        pattern_[i] = static_cast<std::uint8_t>(i);
    }
}

std::span<const std::uint8_t> FrameEncoder::tcp(const TcpSegment& segment) {
    FrameBuilder builder;
    if (segment.vlanId != 0) {
        builder.vlan(segment.vlanId);
    }
    if (segment.ipv6) {
        builder.ipv6(FrameBuilder::ipv6Of(segment.sourceAddress),
                     FrameBuilder::ipv6Of(segment.destinationAddress));
    } else {
        builder.ipv4(segment.sourceAddress, segment.destinationAddress)
            .ipIdentification(segment.identification);
    }
    builder
        .tcp(segment.sourcePort, segment.destinationPort, segment.sequenceNumber, segment.flags,
             segment.acknowledgementNumber)
        .payload(segment.payloadBytes)
        .build(built_);
    return built_;
}

std::span<const std::uint8_t> FrameEncoder::udp(const UdpPacket& packet) {
    if (packet.fragmentField == kDontFragment) {
        FrameBuilder builder;
        if (packet.vlanId != 0) {
            builder.vlan(packet.vlanId);
        }
        builder.ipv4(packet.sourceAddress, packet.destinationAddress)
            .ipIdentification(packet.identification)
            .udp(packet.sourcePort, packet.destinationPort)
            .payload(packet.payloadBytes)
            .build(built_);
        return built_;
    }
    // A fragment: its UDP header, on the first one only, gives the whole datagram's length.
    std::uint8_t* at = link(packet.vlanId, kEtherTypeIpv4, false);
    const bool hasUdpHeader = (packet.fragmentField & 0x1FFF) == 0;
    const std::uint32_t headerBytes = hasUdpHeader ? kUdpHeaderBytes : 0;
    at = ipv4(at, kProtocolUdp, packet.sourceAddress, packet.destinationAddress, packet.identification,
              packet.fragmentField, kIpv4HeaderBytes + headerBytes + packet.payloadBytes);
    if (hasUdpHeader) {
        wire::storeBigEndian16(at, packet.sourcePort);
        wire::storeBigEndian16(at + 2, packet.destinationPort);
        wire::storeBigEndian16(at + 4, packet.datagramBytes);
        std::fill(at + 6, at + 8, std::uint8_t{0});
        at += kUdpHeaderBytes;
    }
    return finish(fillPayload(at, packet.payloadBytes));
}

std::span<const std::uint8_t> FrameEncoder::arp(bool reply, std::uint32_t senderAddress,
                                                std::uint32_t targetAddress) {
    std::uint8_t* at = link(0, kEtherTypeArp, !reply);
    wire::storeBigEndian16(at, 1);
    wire::storeBigEndian16(at + 2, kEtherTypeIpv4);
    at[4] = 6;
    at[5] = 4;
    wire::storeBigEndian16(at + 6, reply ? 2 : 1);
    std::copy(std::begin(kSourceMac), std::end(kSourceMac), at + 8);
    wire::storeBigEndian32(at + 14, senderAddress);
    std::copy(std::begin(kDestinationMac), std::end(kDestinationMac), at + 18);
    wire::storeBigEndian32(at + 24, targetAddress);
    return finish(at + kArpBodyBytes);
}

// Link-local multicast, as service discovery sends it: fe80::1 to ff02::fb.
std::span<const std::uint8_t> FrameEncoder::ipv6Udp(std::uint16_t port, std::uint32_t payloadBytes) {
    std::uint8_t* at = link(0, kEtherTypeIpv6, false);
    const auto udpBytes = static_cast<std::uint16_t>(kUdpHeaderBytes + payloadBytes);
    wire::storeBigEndian32(at, 0x60000000);
    wire::storeBigEndian16(at + 4, udpBytes);
    at[6] = kProtocolUdp;
    at[7] = 255;
    std::fill(at + 8, at + kIpv6HeaderBytes, std::uint8_t{0});
    at[8] = 0xFE;
    at[9] = 0x80;
    at[23] = 0x01;
    at[24] = 0xFF;
    at[25] = 0x02;
    at[39] = 0xFB;
    at += kIpv6HeaderBytes;
    wire::storeBigEndian16(at, port);
    wire::storeBigEndian16(at + 2, port);
    wire::storeBigEndian16(at + 4, udpBytes);
    std::fill(at + 6, at + 8, std::uint8_t{0});
    return finish(fillPayload(at + kUdpHeaderBytes, payloadBytes));
}

std::uint8_t* FrameEncoder::link(std::uint16_t vlanId, std::uint16_t etherType, bool broadcast) {
    std::uint8_t* at = buffer_.data();
    std::memcpy(at, broadcast ? kBroadcastMac : kDestinationMac, 6);
    std::memcpy(at + 6, kSourceMac, 6);
    at += 12;
    if (vlanId != 0) {
        wire::storeBigEndian16(at, kEtherTypeVlan);
        wire::storeBigEndian16(at + 2, vlanId);
        at += 4;
    }
    wire::storeBigEndian16(at, etherType);
    return at + 2;
}

std::uint8_t* FrameEncoder::ipv4(std::uint8_t* at, std::uint8_t protocol, std::uint32_t source,
                                 std::uint32_t destination, std::uint16_t identification,
                                 std::uint16_t fragmentField, std::uint32_t totalLength) {
    at[0] = 0x45;
    at[1] = 0;
    wire::storeBigEndian16(at + 2, static_cast<std::uint16_t>(totalLength));
    wire::storeBigEndian16(at + 4, identification);
    wire::storeBigEndian16(at + 6, fragmentField);
    at[8] = 64;
    at[9] = protocol;
    at[10] = 0;
    at[11] = 0;
    wire::storeBigEndian32(at + 12, source);
    wire::storeBigEndian32(at + 16, destination);
    wire::storeBigEndian16(at + 10, wire::internetChecksum({at, kIpv4HeaderBytes}));
    return at + kIpv4HeaderBytes;
}

std::uint8_t* FrameEncoder::fillPayload(std::uint8_t* at, std::uint32_t bytes) const {
    std::memcpy(at, pattern_.data(), bytes);
    return at + bytes;
}

std::span<const std::uint8_t> FrameEncoder::finish(const std::uint8_t* end) const {
    return {buffer_.data(), static_cast<std::size_t>(end - buffer_.data())};
}

}  // namespace korvo::tools::synth
