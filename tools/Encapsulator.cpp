#include "tools/Encapsulator.h"

#include <algorithm>
#include <initializer_list>

namespace korvo::tools {

namespace {

constexpr std::size_t kEthernetLength = 14;
constexpr std::size_t kTagLength = 4;
constexpr std::uint16_t kTypeIPv4 = 0x0800;
constexpr std::uint16_t kTypeIPv6 = 0x86DD;
constexpr std::uint16_t kTypeVlan = 0x8100;
constexpr std::uint16_t kTypeServiceVlan = 0x88A8;

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value));
}

void put32(Bytes& bytes, std::uint32_t value) {
    put16(bytes, value >> 16);
    put16(bytes, value & 0xFFFF);
}

void append(Bytes& bytes, std::initializer_list<std::uint8_t> more) {
    bytes.insert(bytes.end(), more);
}

// The outer frame's addresses, then its EtherType (or 802.3 length).
Bytes ethernet(std::uint32_t type) {
    Bytes bytes = {0x02, 0, 0, 0, 0, 0x02, 0x02, 0, 0, 0, 0, 0x01};
    put16(bytes, type);
    return bytes;
}

// An outer IPv4 header from 192.0.2.1 to 192.0.2.2 in front of `payloadLength` bytes.
void appendIpv4(Bytes& bytes, std::uint8_t protocol, std::uint32_t payloadLength) {
    append(bytes, {0x45, 0});
    put16(bytes, 20 + payloadLength);
    append(bytes, {0, 0, 0x40, 0, 64, protocol, 0, 0, 192, 0, 2, 1, 192, 0, 2, 2});
}

void appendUdp(Bytes& bytes, std::uint16_t port, std::uint32_t payloadLength) {
    put16(bytes, 49152);
    put16(bytes, port);
    put16(bytes, 8 + payloadLength);
    put16(bytes, 0);
}

// An 802.11 data frame to the distribution system (frame control, duration, three addresses, sequence
// control) and its LLC/SNAP header, which the frame's EtherType and payload follow.
constexpr std::uint8_t kWirelessDataAndSnap[] = {0x08, 0x01, 0, 0, 0x02, 0,    0,    0, 0, 0x02,
                                                 0x02, 0,    0, 0, 0,    0x01, 0x02, 0, 0, 0,
                                                 0,    0,    0, 0, 0xAA, 0xAA, 0x03, 0, 0, 0};

// Where the frame's IP packet starts and its EtherType, behind 802.1Q tags; nothing when it carries no IP.
struct IpPart {
    bool found = false;
    std::uint16_t type = 0;
    std::size_t offset = 0;
};

IpPart ipPart(const Bytes& frame) {
    std::size_t typeOffset = 12;
    for (;;) {
        if (frame.size() < typeOffset + 2) {
            return {};
        }
        const auto type = static_cast<std::uint16_t>(frame[typeOffset] << 8 | frame[typeOffset + 1]);
        if (type == kTypeVlan || type == kTypeServiceVlan) {
            typeOffset += kTagLength;
            continue;
        }
        if (type != kTypeIPv4 && type != kTypeIPv6) {
            return {};
        }
        return {true, type, typeOffset + 2};
    }
}

}  // namespace

const std::vector<Encapsulator::Kind>& Encapsulator::kinds() {
    static const std::vector<Kind> all = {
        Kind::StackedVlan, Kind::Mpls,     Kind::MplsPseudowire, Kind::Pppoe,   Kind::Backbone,
        Kind::LlcSnap,     Kind::Gre,      Kind::GreEthernet,    Kind::Erspan2, Kind::Erspan3,
        Kind::IpInIp,      Kind::Vxlan,    Kind::Geneve,         Kind::GtpUser, Kind::PppoeCompressed,
        Kind::GreInUdp,    Kind::VxlanGpe, Kind::Ayiya,          Kind::Capwap,  Kind::Gre80211,
        Kind::FabricPath};
    return all;
}

std::string Encapsulator::nameOf(Kind kind) {
    switch (kind) {
        case Kind::StackedVlan:
            return "qinq";
        case Kind::Mpls:
            return "mpls";
        case Kind::MplsPseudowire:
            return "mpls-pw";
        case Kind::Pppoe:
            return "pppoe";
        case Kind::Backbone:
            return "pbb";
        case Kind::LlcSnap:
            return "llc-snap";
        case Kind::Gre:
            return "gre";
        case Kind::GreEthernet:
            return "gre-ethernet";
        case Kind::Erspan2:
            return "erspan2";
        case Kind::Erspan3:
            return "erspan3";
        case Kind::IpInIp:
            return "ipip";
        case Kind::Vxlan:
            return "vxlan";
        case Kind::Geneve:
            return "geneve";
        case Kind::GtpUser:
            return "gtp-u";
        case Kind::PppoeCompressed:
            return "pppoe-compressed";
        case Kind::GreInUdp:
            return "gre-udp";
        case Kind::VxlanGpe:
            return "vxlan-gpe";
        case Kind::Ayiya:
            return "ayiya";
        case Kind::Capwap:
            return "capwap";
        case Kind::Gre80211:
            return "gre-80211";
        case Kind::FabricPath:
            return "fabricpath";
    }
    return "";
}

Encapsulator::Frame Encapsulator::wrap(Kind kind, const Frame& frame) {
    const Bytes& inner = frame.captured;
    const IpPart ip = ipPart(inner);
    // What the new headers wrap, on the wire: the whole frame or its IP packet.
    const auto wireFrom = [&frame](std::size_t offset) {
        return frame.wireLength > offset ? static_cast<std::uint32_t>(frame.wireLength - offset) : 0U;
    };
    Bytes head;
    std::size_t keptFrom = 0;
    switch (kind) {
        case Kind::StackedVlan:
            if (inner.size() < kEthernetLength) {
                return frame;
            }
            head.assign(inner.begin(), inner.begin() + 12);
            put16(head, kTypeServiceVlan);
            put16(head, 100);
            put16(head, kTypeVlan);
            put16(head, 200);
            keptFrom = 12;
            break;
        case Kind::MplsPseudowire:
            head = ethernet(0x8847);
            append(head, {0, 0x64, 0x01, 64, 0, 0, 0, 0});
            break;
        case Kind::Backbone:
            head = ethernet(0x88E7);
            append(head, {0, 0, 0x10, 0});
            break;
        case Kind::GreEthernet:
            head = ethernet(kTypeIPv4);
            appendIpv4(head, 47, 8 + wireFrom(0));
            append(head, {0x80, 0, 0x65, 0x58, 0, 0, 0, 0});
            break;
        case Kind::Erspan2:
            head = ethernet(kTypeIPv4);
            appendIpv4(head, 47, 16 + wireFrom(0));
            append(head, {0x10, 0, 0x88, 0xBE, 0, 0, 0, 1, 0x10, 0x64, 0, 0x05, 0, 0, 0, 0});
            break;
        case Kind::Erspan3:
            head = ethernet(kTypeIPv4);
            appendIpv4(head, 47, 28 + wireFrom(0));
            append(head, {0x10, 0, 0x22, 0xEB, 0, 0, 0, 1, 0x20, 0x64, 0, 0x05, 0, 0, 0, 0, 0, 0, 0, 0x01});
            append(head, {0, 0, 0, 0, 0, 0, 0, 0});
            break;
        case Kind::Vxlan:
            head = ethernet(kTypeIPv4);
            appendIpv4(head, 17, 16 + wireFrom(0));
            appendUdp(head, 4789, 8 + wireFrom(0));
            append(head, {0x08, 0, 0, 0, 0, 0x10, 0x20, 0});
            break;
        case Kind::Capwap:
        case Kind::Gre80211: {
            // The frame as 802.11: its EtherType and payload behind an 802.11 header and LLC/SNAP.
            if (inner.size() < kEthernetLength) {
                return frame;
            }
            constexpr auto kWireless = static_cast<std::uint32_t>(sizeof kWirelessDataAndSnap);
            const std::uint32_t wireless = kWireless + wireFrom(12);
            head = ethernet(kTypeIPv4);
            if (kind == Kind::Capwap) {
                appendIpv4(head, 17, 16 + wireless);
                appendUdp(head, 5247, 8 + wireless);
                // Version 0; 2 words of header; binding 802.11 and the T bit (native frames); no fragment.
                append(head, {0, 0x10, 0x03, 0, 0, 0, 0, 0});
            } else {
                appendIpv4(head, 47, 4 + wireless);
                append(head, {0, 0, 0x82, 0x00});
            }
            head.insert(head.end(), std::begin(kWirelessDataAndSnap), std::end(kWirelessDataAndSnap));
            keptFrom = 12;
            break;
        }
        case Kind::FabricPath:
            // Outer addresses, the EtherType, the FTag and TTL; the whole frame follows.
            head = ethernet(0x8903);
            append(head, {0x00, 0x3F});
            break;
        case Kind::Geneve:
            head = ethernet(kTypeIPv4);
            appendIpv4(head, 17, 24 + wireFrom(0));
            appendUdp(head, 6081, 16 + wireFrom(0));
            // One option of 4 bytes of data: 8 bytes, two 4-byte units.
            append(head,
                   {0x02, 0, 0x65, 0x58, 0, 0x10, 0x20, 0, 0x01, 0x02, 0x80, 0x01, 0xAB, 0xCD, 0xEF, 0x01});
            break;
        default: {
            if (!ip.found) {
                return frame;
            }
            keptFrom = ip.offset;
            const std::uint32_t packet = wireFrom(ip.offset);
            const bool ipv4 = ip.type == kTypeIPv4;
            switch (kind) {
                case Kind::Mpls:
                    head = ethernet(0x8847);
                    append(head, {0, 0x64, 0, 64, 0, 0xC8, 0x01, 64});
                    break;
                case Kind::Pppoe:
                    head = ethernet(0x8864);
                    append(head, {0x11, 0, 0, 0x01});
                    put16(head, packet + 2);
                    put16(head, ipv4 ? 0x0021 : 0x0057);
                    break;
                case Kind::LlcSnap:
                    head = ethernet(std::min<std::uint32_t>(8 + packet, 1500));
                    append(head, {0xAA, 0xAA, 0x03, 0, 0, 0});
                    put16(head, ip.type);
                    break;
                case Kind::Gre:
                    head = ethernet(kTypeIPv4);
                    appendIpv4(head, 47, 12 + packet);
                    append(head, {0x30, 0});
                    put16(head, ip.type);
                    append(head, {0, 0, 0, 42, 0, 0, 0, 7});
                    break;
                case Kind::IpInIp:
                    head = ethernet(kTypeIPv4);
                    appendIpv4(head, ipv4 ? 4 : 41, packet);
                    break;
                case Kind::PppoeCompressed:
                    head = ethernet(0x8864);
                    append(head, {0x11, 0, 0, 0x01});
                    put16(head, packet + 1);
                    head.push_back(ipv4 ? 0x21 : 0x57);
                    break;
                case Kind::GreInUdp:
                    head = ethernet(kTypeIPv4);
                    appendIpv4(head, 17, 12 + packet);
                    appendUdp(head, 4754, 4 + packet);
                    append(head, {0, 0});
                    put16(head, ip.type);
                    break;
                case Kind::VxlanGpe:
                    head = ethernet(kTypeIPv4);
                    appendIpv4(head, 17, 16 + packet);
                    appendUdp(head, 4790, 8 + packet);
                    // The I and P flags, next protocol IPv4 (1) or IPv6 (2), the network identifier.
                    append(head, {0x0C, 0, 0, static_cast<std::uint8_t>(ipv4 ? 1 : 2), 0, 0x10, 0x20, 0});
                    break;
                case Kind::Ayiya: {
                    // An identity of 2^4 bytes and a signature of 5 words (SHA-1); forward; IP in IP or IPv6.
                    constexpr std::uint32_t kAyiya = 8 + 16 + 20;
                    head = ethernet(kTypeIPv4);
                    appendIpv4(head, 17, 8 + kAyiya + packet);
                    appendUdp(head, 5072, kAyiya + packet);
                    append(head, {0x41, 0x52, 0x11, static_cast<std::uint8_t>(ipv4 ? 4 : 41)});
                    put32(head, 0x5F5E1000);
                    head.insert(head.end(), 16 + 20, 0x5A);
                    break;
                }
                case Kind::GtpUser:
                    head = ethernet(kTypeIPv4);
                    appendIpv4(head, 17, 24 + packet);
                    appendUdp(head, 2152, 16 + packet);
                    // Version 1, with a sequence number and one extension header (a PDU session container).
                    append(head, {0x36, 0xFF});
                    put16(head, 8 + packet);
                    put32(head, 0x1234);
                    append(head, {0, 1, 0, 0x85, 0x01, 0x00, 0x01, 0x00});
                    break;
                default:
                    return frame;
            }
            break;
        }
    }
    Frame wrapped;
    wrapped.captured = head;
    wrapped.captured.insert(wrapped.captured.end(), inner.begin() + static_cast<std::ptrdiff_t>(keptFrom),
                            inner.end());
    wrapped.wireLength = static_cast<std::uint32_t>(head.size()) + wireFrom(keptFrom);
    return wrapped;
}

}  // namespace korvo::tools
