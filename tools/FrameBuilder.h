#pragma once
// Builds the bytes of one Ethernet frame (optionally 802.1Q-tagged) carrying IPv4 or IPv6 with TCP, UDP or
// another protocol, or a non-IP EtherType, with every header field under the caller's control. Used by the
// tests and the capture synthesiser to make captures whose every byte is known.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace korvo::tools {

class FrameBuilder {
public:
    static constexpr std::uint16_t kEtherTypeIPv4 = 0x0800;
    static constexpr std::uint16_t kEtherTypeVlan = 0x8100;
    static constexpr std::uint16_t kEtherTypeArp = 0x0806;
    static constexpr std::uint16_t kEtherTypeIPv6 = 0x86DD;
    static constexpr std::uint8_t kProtocolTcp = 6;
    static constexpr std::uint8_t kProtocolUdp = 17;
    static constexpr std::uint8_t kTcpSyn = 0x02;
    static constexpr std::uint8_t kTcpAck = 0x10;
    static constexpr std::uint8_t kTcpFin = 0x01;
    static constexpr std::uint8_t kTcpPsh = 0x08;

    // Inserts an 802.1Q tag (TPID 0x8100) with this VLAN id in front of the EtherType.
    FrameBuilder& vlan(std::uint16_t vlanId);
    // Makes a frame of another EtherType (ARP, IPv6, ...) whose payload is `payloadBytes` zero bytes. Clears
    // any IPv4 part.
    FrameBuilder& nonIp(std::uint16_t etherType, std::size_t payloadBytes);

    using Ipv6Address = std::array<std::uint8_t, 16>;

    // IPv4 header; addresses in host order (10.0.0.1 is 0x0A000001). Protocol is set by tcp()/udp() or here.
    FrameBuilder& ipv4(std::uint32_t sourceAddress, std::uint32_t destinationAddress);
    // IPv6 header instead (hop limit 64, class and label 0); the protocol becomes its last next header.
    FrameBuilder& ipv6(const Ipv6Address& sourceAddress, const Ipv6Address& destinationAddress);
    // Appends an IPv6 extension header of this type (its next-header number) with these bytes, the first of
    // which the builder sets to the next header's number.
    FrameBuilder& ipv6Extension(std::uint8_t type, const std::vector<std::uint8_t>& bytes);
    // Overrides the computed IPv6 payload length.
    FrameBuilder& ipv6PayloadLength(std::uint16_t payloadLength);
    // 2001:db8::a.b.c.d, an IPv6 address of the documentation prefix that carries an IPv4 address (host
    // order) in its last four bytes.
    static Ipv6Address ipv6Of(std::uint32_t ipv4Address);
    FrameBuilder& ipProtocol(std::uint8_t protocol);
    // The identification as a number; written big-endian like every other field.
    FrameBuilder& ipIdentification(std::uint16_t identification);
    // The 16-bit flags-and-fragment-offset field in host order (0x4000 don't-fragment, 0x2000
    // more-fragments).
    FrameBuilder& ipFlagsAndOffset(std::uint16_t field);
    // Header length in 32-bit words (the IHL nibble); words beyond 5 are filled with zero option bytes.
    // Values below 5 write that nibble but still lay out a 20-byte header.
    FrameBuilder& ipHeaderWords(std::uint8_t words);
    // Overrides the computed IP total length.
    FrameBuilder& ipTotalLength(std::uint16_t totalLength);

    // TCP header (20 bytes, no options) with the given ports, sequence number and flags; sets protocol 6.
    FrameBuilder& tcp(std::uint16_t sourcePort, std::uint16_t destinationPort, std::uint32_t sequenceNumber,
                      std::uint8_t flags = kTcpAck, std::uint32_t acknowledgementNumber = 0);
    // The advertised TCP window, 65535 unless set.
    FrameBuilder& tcpWindow(std::uint16_t window);
    // UDP header (8 bytes) with the given ports; sets protocol 17.
    FrameBuilder& udp(std::uint16_t sourcePort, std::uint16_t destinationPort);
    // Transport payload of this many bytes: 0, 1, 2, ... 255, 0, 1, ... (byte i is i modulo 256).
    FrameBuilder& payload(std::size_t bytes);

    // The frame's bytes: destination MAC 02:00:00:00:00:02, source MAC 02:00:00:00:00:01, then the tag, the
    // EtherType and the rest, without padding to the Ethernet minimum. The IP total length is computed from
    // the headers and payload unless overridden (std::length_error if it would exceed 65535); the IP header
    // checksum is always computed. TTL is 64, the TCP and UDP checksums zero.
    [[nodiscard]] std::vector<std::uint8_t> build() const;
    // The same into `frame`, reusing its memory: no allocation once it has held a frame this long.
    void build(std::vector<std::uint8_t>& frame) const;

private:
    // The TCP or UDP header and the payload, from `at`.
    void writeTransport(std::uint8_t* at) const;
    [[nodiscard]] bool isIp() const { return isIpv4_ || isIpv6_; }

    std::optional<std::uint16_t> vlanId_;
    bool isIpv4_ = true;
    bool isIpv6_ = false;
    Ipv6Address ipv6Source_{};
    Ipv6Address ipv6Destination_{};
    std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> ipv6Extensions_;
    std::optional<std::uint16_t> ipv6PayloadLength_;
    std::uint16_t etherType_ = kEtherTypeIPv4;
    std::size_t nonIpPayload_ = 0;
    std::uint32_t sourceAddress_ = 0x0A000001;
    std::uint32_t destinationAddress_ = 0x0A000002;
    std::uint8_t protocol_ = kProtocolTcp;
    std::uint16_t identification_ = 0;
    std::uint16_t flagsAndOffset_ = 0x4000;
    std::uint8_t headerWords_ = 5;
    std::optional<std::uint16_t> totalLength_;
    bool hasTcp_ = false;
    bool hasUdp_ = false;
    std::uint16_t sourcePort_ = 0;
    std::uint16_t destinationPort_ = 0;
    std::uint32_t sequenceNumber_ = 0;
    std::uint32_t acknowledgementNumber_ = 0;
    std::uint8_t tcpFlags_ = kTcpAck;
    std::uint16_t tcpWindow_ = 65535;
    std::size_t payload_ = 0;
};

}  // namespace korvo::tools
