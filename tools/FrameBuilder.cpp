#include "tools/FrameBuilder.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "tools/WireBytes.h"

namespace korvo::tools {

namespace {

constexpr std::size_t kMacLength = 6;
constexpr std::uint8_t kDestinationMac[kMacLength] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
constexpr std::uint8_t kSourceMac[kMacLength] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr std::size_t kEthernetHeaderLength = 14;
constexpr std::size_t kVlanTagLength = 4;
constexpr std::size_t kIpFixedHeaderLength = 20;
constexpr std::size_t kIpv6FixedHeaderLength = 40;
constexpr std::size_t kTcpHeaderLength = 20;
constexpr std::size_t kUdpHeaderLength = 8;
constexpr std::uint8_t kTimeToLive = 64;
constexpr std::uint8_t kTcpDataOffsetWords = 5;
constexpr std::size_t kMaxIpTotalLength = 65535;

}  // namespace

FrameBuilder& FrameBuilder::vlan(std::uint16_t vlanId) {
    vlanId_ = vlanId;
    return *this;
}

FrameBuilder& FrameBuilder::nonIp(std::uint16_t etherType, std::size_t payloadBytes) {
    isIpv4_ = false;
    isIpv6_ = false;
    etherType_ = etherType;
    nonIpPayload_ = payloadBytes;
    hasTcp_ = false;
    hasUdp_ = false;
    payload_ = 0;
    totalLength_.reset();
    return *this;
}

FrameBuilder& FrameBuilder::ipv6(const Ipv6Address& sourceAddress, const Ipv6Address& destinationAddress) {
    isIpv4_ = false;
    isIpv6_ = true;
    etherType_ = kEtherTypeIPv6;
    nonIpPayload_ = 0;
    ipv6Source_ = sourceAddress;
    ipv6Destination_ = destinationAddress;
    return *this;
}

FrameBuilder& FrameBuilder::ipv6Extension(std::uint8_t type, const std::vector<std::uint8_t>& bytes) {
    ipv6Extensions_.emplace_back(type, bytes);
    return *this;
}

FrameBuilder& FrameBuilder::ipv6PayloadLength(std::uint16_t payloadLength) {
    ipv6PayloadLength_ = payloadLength;
    return *this;
}

FrameBuilder::Ipv6Address FrameBuilder::ipv6Of(std::uint32_t ipv4Address) {
    Ipv6Address address{0x20, 0x01, 0x0d, 0xb8};
    wire::storeBigEndian32(address.data() + 12, ipv4Address);
    return address;
}

FrameBuilder& FrameBuilder::ipv4(std::uint32_t sourceAddress, std::uint32_t destinationAddress) {
    isIpv4_ = true;
    isIpv6_ = false;
    etherType_ = kEtherTypeIPv4;
    nonIpPayload_ = 0;
    sourceAddress_ = sourceAddress;
    destinationAddress_ = destinationAddress;
    return *this;
}

FrameBuilder& FrameBuilder::ipProtocol(std::uint8_t protocol) {
    protocol_ = protocol;
    return *this;
}

FrameBuilder& FrameBuilder::ipIdentification(std::uint16_t identification) {
    identification_ = identification;
    return *this;
}

FrameBuilder& FrameBuilder::ipFlagsAndOffset(std::uint16_t field) {
    flagsAndOffset_ = field;
    return *this;
}

FrameBuilder& FrameBuilder::ipHeaderWords(std::uint8_t words) {
    headerWords_ = words;
    return *this;
}

FrameBuilder& FrameBuilder::ipTotalLength(std::uint16_t totalLength) {
    totalLength_ = totalLength;
    return *this;
}

FrameBuilder& FrameBuilder::tcp(std::uint16_t sourcePort, std::uint16_t destinationPort,
                                std::uint32_t sequenceNumber, std::uint8_t flags,
                                std::uint32_t acknowledgementNumber) {
    hasTcp_ = true;
    hasUdp_ = false;
    protocol_ = kProtocolTcp;
    sourcePort_ = sourcePort;
    destinationPort_ = destinationPort;
    sequenceNumber_ = sequenceNumber;
    tcpFlags_ = flags;
    acknowledgementNumber_ = acknowledgementNumber;
    return *this;
}

FrameBuilder& FrameBuilder::tcpWindow(std::uint16_t window) {
    tcpWindow_ = window;
    return *this;
}

FrameBuilder& FrameBuilder::udp(std::uint16_t sourcePort, std::uint16_t destinationPort) {
    hasUdp_ = true;
    hasTcp_ = false;
    protocol_ = kProtocolUdp;
    sourcePort_ = sourcePort;
    destinationPort_ = destinationPort;
    return *this;
}

FrameBuilder& FrameBuilder::payload(std::size_t bytes) {
    payload_ = bytes;
    return *this;
}

std::vector<std::uint8_t> FrameBuilder::build() const {
    std::vector<std::uint8_t> frame;
    build(frame);
    return frame;
}

void FrameBuilder::build(std::vector<std::uint8_t>& frame) const {
    const std::size_t linkLength = kEthernetHeaderLength + (vlanId_ ? kVlanTagLength : 0);
    std::size_t ipHeaderLength = std::max<std::size_t>(4 * std::size_t{headerWords_}, kIpFixedHeaderLength);
    if (isIpv6_) {
        ipHeaderLength = kIpv6FixedHeaderLength;
        for (const auto& extension : ipv6Extensions_) {
            ipHeaderLength += extension.second.size();
        }
    }
    const std::size_t transportLength = hasTcp_ ? kTcpHeaderLength : hasUdp_ ? kUdpHeaderLength : 0;
    const std::size_t ipLength = ipHeaderLength + transportLength + payload_;
    if (isIpv6_ && !ipv6PayloadLength_ && ipLength - kIpv6FixedHeaderLength > kMaxIpTotalLength) {
        throw std::length_error("IPv6 payload of " + std::to_string(ipLength - kIpv6FixedHeaderLength) +
                                " bytes does not fit the 16-bit payload length field");
    }
    if (isIpv4_ && !totalLength_ && ipLength > kMaxIpTotalLength) {
        throw std::length_error("IPv4 packet of " + std::to_string(ipLength) +
                                " bytes does not fit the 16-bit total length field");
    }

    frame.assign(linkLength + (isIp() ? ipLength : nonIpPayload_), 0);
    std::uint8_t* at = frame.data();
    std::copy(std::begin(kDestinationMac), std::end(kDestinationMac), at);
    std::copy(std::begin(kSourceMac), std::end(kSourceMac), at + kMacLength);
    at += 2 * kMacLength;
    if (vlanId_) {
        wire::storeBigEndian16(at, kEtherTypeVlan);
        wire::storeBigEndian16(at + 2, *vlanId_);
        at += kVlanTagLength;
    }
    wire::storeBigEndian16(at, etherType_);
    at += 2;
    if (!isIp()) {
        return;
    }

    std::uint8_t* const ipHeader = at;
    if (isIpv6_) {
        ipHeader[0] = 0x60;
        wire::storeBigEndian16(
            ipHeader + 4,
            ipv6PayloadLength_.value_or(static_cast<std::uint16_t>(ipLength - kIpv6FixedHeaderLength)));
        ipHeader[7] = kTimeToLive;
        std::copy(ipv6Source_.begin(), ipv6Source_.end(), ipHeader + 8);
        std::copy(ipv6Destination_.begin(), ipv6Destination_.end(), ipHeader + 24);
        std::uint8_t* nextHeader = ipHeader + 6;
        at += kIpv6FixedHeaderLength;
        for (const auto& [type, bytes] : ipv6Extensions_) {
            *nextHeader = type;
            std::copy(bytes.begin(), bytes.end(), at);
            nextHeader = at;
            at += bytes.size();
        }
        *nextHeader = protocol_;
        writeTransport(at);
        return;
    }
    ipHeader[0] = static_cast<std::uint8_t>(0x40 | (headerWords_ & 0x0F));
    wire::storeBigEndian16(ipHeader + 2, totalLength_.value_or(static_cast<std::uint16_t>(ipLength)));
    wire::storeBigEndian16(ipHeader + 4, identification_);
    wire::storeBigEndian16(ipHeader + 6, flagsAndOffset_);
    ipHeader[8] = kTimeToLive;
    ipHeader[9] = protocol_;
    wire::storeBigEndian32(ipHeader + 12, sourceAddress_);
    wire::storeBigEndian32(ipHeader + 16, destinationAddress_);
    wire::storeBigEndian16(ipHeader + 10, wire::internetChecksum({ipHeader, ipHeaderLength}));
    at += ipHeaderLength;
    writeTransport(at);
}

void FrameBuilder::writeTransport(std::uint8_t* at) const {
    const std::size_t transportLength = hasTcp_ ? kTcpHeaderLength : hasUdp_ ? kUdpHeaderLength : 0;
    if (hasTcp_) {
        wire::storeBigEndian16(at, sourcePort_);
        wire::storeBigEndian16(at + 2, destinationPort_);
        wire::storeBigEndian32(at + 4, sequenceNumber_);
        wire::storeBigEndian32(at + 8, acknowledgementNumber_);
        at[12] = kTcpDataOffsetWords << 4;
        at[13] = tcpFlags_;
        wire::storeBigEndian16(at + 14, tcpWindow_);
    } else if (hasUdp_) {
        wire::storeBigEndian16(at, sourcePort_);
        wire::storeBigEndian16(at + 2, destinationPort_);
        wire::storeBigEndian16(at + 4, static_cast<std::uint16_t>(kUdpHeaderLength + payload_));
    }
    at += transportLength;
    for (std::size_t i = 0; i < payload_; ++i) {
        at[i] = static_cast<std::uint8_t>(i);
    }
}

}  // namespace korvo::tools
