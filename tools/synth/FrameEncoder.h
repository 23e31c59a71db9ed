#pragma once
// Lays out the synthesiser's frames (IPv4 TCP and UDP, IP fragments, ARP, IPv6 UDP) in reused buffers, so
// that writing a frame allocates nothing. TCP segments and whole UDP datagrams are FrameBuilder's; the
// frames it has no fields for are laid out here.

#include <cstdint>
#include <span>
#include <vector>

namespace korvo::tools::synth {

// VLAN id 0 means an untagged frame.
struct TcpSegment {
    std::uint16_t vlanId = 0;
    // Over IPv6, between FrameBuilder::ipv6Of the two addresses; the identification is then unused.
    bool ipv6 = false;
    std::uint32_t sourceAddress = 0;
    std::uint32_t destinationAddress = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    std::uint32_t sequenceNumber = 0;
    std::uint32_t acknowledgementNumber = 0;
    std::uint8_t flags = 0;
    std::uint16_t identification = 0;
    std::uint32_t payloadBytes = 0;
};

// A whole UDP datagram when fragmentField is 0x4000 (don't fragment); otherwise one fragment of it, whose
// payloadBytes are the fragment's share of the IP payload and which carries the UDP header only at offset 0.
struct UdpPacket {
    std::uint16_t vlanId = 0;
    std::uint32_t sourceAddress = 0;
    std::uint32_t destinationAddress = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    std::uint16_t identification = 0;
    std::uint16_t fragmentField = 0x4000;
    std::uint16_t datagramBytes = 0;
    std::uint32_t payloadBytes = 0;
};

class FrameEncoder {
public:
    static constexpr std::uint8_t kTcpFin = 0x01;
    static constexpr std::uint8_t kTcpSyn = 0x02;
    static constexpr std::uint8_t kTcpRst = 0x04;
    static constexpr std::uint8_t kTcpPsh = 0x08;
    static constexpr std::uint8_t kTcpAck = 0x10;
    static constexpr std::uint16_t kDontFragment = 0x4000;
    static constexpr std::uint16_t kMoreFragments = 0x2000;
    static constexpr std::uint32_t kUdpHeaderBytes = 8;

    FrameEncoder();

    // Each returns a view of the frame, valid until the next call.
    std::span<const std::uint8_t> tcp(const TcpSegment& segment);
    std::span<const std::uint8_t> udp(const UdpPacket& packet);
    std::span<const std::uint8_t> arp(bool reply, std::uint32_t senderAddress, std::uint32_t targetAddress);
    std::span<const std::uint8_t> ipv6Udp(std::uint16_t port, std::uint32_t payloadBytes);

private:
    std::uint8_t* link(std::uint16_t vlanId, std::uint16_t etherType, bool broadcast);
    std::uint8_t* ipv4(std::uint8_t* at, std::uint8_t protocol, std::uint32_t source,
                       std::uint32_t destination, std::uint16_t identification, std::uint16_t fragmentField,
                       std::uint32_t totalLength);
    std::span<const std::uint8_t> finish(const std::uint8_t* end) const;
    std::uint8_t* fillPayload(std::uint8_t* at, std::uint32_t bytes) const;

    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> built_;
    std::vector<std::uint8_t> pattern_;
};

}  // namespace korvo::tools::synth
