#include "capture/TunnelDecoder.h"

#include <algorithm>
#include <iterator>

#include "capture/Ipv6HeaderChain.h"
#include "capture/WirelessFrame.h"
#include "net/IpHeader.h"
#include "net/Ipv6Header.h"
#include "net/WireNumbers.h"
#include "net/WireOrder.h"

namespace korvo::measurement {

namespace etherType = net::etherType;
namespace ipProtocol = net::ipProtocol;

using net::bigEndian16;

namespace {

constexpr std::uint16_t kPortVxlan = 4789;
constexpr std::uint16_t kPortGeneve = 6081;
constexpr std::uint16_t kPortGtpUser = 2152;
constexpr std::uint16_t kPortGreInUdp = 4754;
constexpr std::uint16_t kPortVxlanGpe = 4790;
constexpr std::uint16_t kPortAyiya = 5072;
constexpr std::uint16_t kPortCapwapData = 5247;

constexpr std::uint32_t kEthernetLength = 14;
constexpr std::uint32_t kTagLength = 4;
constexpr std::uint32_t kLabelLength = 4;
constexpr std::uint32_t kControlWordLength = 4;
constexpr std::uint32_t kPppoeLength = 8;
// The I-TAG, then the customer's destination and source addresses and EtherType.
constexpr std::uint32_t kBackboneLength = 18;
constexpr std::uint32_t kSnapLength = 8;
constexpr std::uint32_t kUdpLength = 8;
constexpr std::uint32_t kVxlanLength = 8;
constexpr std::uint32_t kGeneveLength = 8;
constexpr std::uint32_t kGtpLength = 8;
constexpr std::uint32_t kGtpOptionalLength = 4;
constexpr std::uint32_t kGreLength = 4;
constexpr std::uint32_t kGreFieldLength = 4;
constexpr std::uint32_t kErspan2Length = 8;
constexpr std::uint32_t kErspan3Length = 12;
constexpr std::uint32_t kErspan3SubheaderLength = 8;
constexpr std::uint32_t kFabricPathTagLength = 2;
constexpr std::uint32_t kVxlanGpeLength = 8;
constexpr std::uint32_t kAyiyaLength = 8;
constexpr std::uint32_t kCapwapLength = 8;

constexpr std::uint8_t kVxlanGpeNextProtocol = 0x04;
constexpr std::uint8_t kAyiyaForward = 1;
constexpr std::uint8_t kCapwapFragment = 0x80;
constexpr std::uint8_t kCapwapWirelessBinding80211 = 1;

constexpr std::uint8_t kGreChecksum = 0x80;
constexpr std::uint8_t kGreKey = 0x20;
constexpr std::uint8_t kGreSequence = 0x10;
constexpr std::uint8_t kGtpVersion1UserPlane = 0x30;
constexpr std::uint8_t kGtpOptionalFields = 0x07;
constexpr std::uint8_t kGtpExtension = 0x04;
constexpr std::uint8_t kGtpUserData = 0xFF;

// How one header hands on: to the header of `type` at `offset`, or nowhere.
struct Hop {
    enum class Outcome : std::uint8_t { Next, End, Cut };
    Outcome outcome;
    std::uint16_t type = 0;
    std::uint32_t offset = 0;
};

constexpr Hop kEnd{Hop::Outcome::End};
constexpr Hop kCut{Hop::Outcome::Cut};

// The walk over one frame's captured bytes.
class Walker {
public:
    Walker(const unsigned char* frame, std::uint32_t capturedLength)
        : frame_(frame), captured_(capturedLength) {}

    // Whether `length` bytes from `offset` were captured.
    [[nodiscard]] bool holds(std::uint32_t offset, std::uint32_t length) const {
        return offset <= captured_ && captured_ - offset >= length;
    }

    [[nodiscard]] Hop byType(std::uint16_t type, std::uint32_t at, unsigned& tagsInARow) const;
    [[nodiscard]] Hop ipPayload(std::uint8_t protocol, std::uint32_t at) const;

private:
    [[nodiscard]] Hop mpls(std::uint32_t at) const;
    [[nodiscard]] Hop gre(std::uint32_t at) const;
    [[nodiscard]] Hop udp(std::uint32_t at) const;
    [[nodiscard]] Hop geneve(std::uint32_t at) const;
    [[nodiscard]] Hop gtpUser(std::uint32_t at) const;
    [[nodiscard]] Hop vxlanGpe(std::uint32_t at) const;
    [[nodiscard]] Hop ayiya(std::uint32_t at) const;
    [[nodiscard]] Hop capwapData(std::uint32_t at) const;
    // An IP packet whose version is given by its first nibble.
    [[nodiscard]] Hop ipByVersion(std::uint32_t at) const;

    const unsigned char* frame_;
    std::uint32_t captured_;
};

Hop Walker::byType(std::uint16_t type, std::uint32_t at, unsigned& tagsInARow) const {
    const unsigned char* bytes = frame_ + at;
    const bool tag = TunnelDecoder::isTag(type);
    tagsInARow = tag ? tagsInARow + 1 : 0;
    if (tag) {
        if (tagsInARow > TunnelDecoder::kMostStackedTags || !holds(at, kTagLength)) {
            return kCut;
        }
        return {Hop::Outcome::Next, bigEndian16(bytes + 2), at + kTagLength};
    }
    switch (type) {
        case etherType::kMplsUnicast:
        case etherType::kMplsMulticast:
            return mpls(at);
        case etherType::kPppoeSession: {
            // Version and type 1, code 0 (session data); the length field is not needed and not trusted. The
            // PPP protocol field is one byte where its first is odd (compressed, RFC 1661).
            if (!holds(at, kPppoeLength - 1)) {
                return kCut;
            }
            if (bytes[0] != 0x11 || bytes[1] != 0) {
                return kEnd;
            }
            const bool compressed = (bytes[6] & 0x01) != 0;
            if (!compressed && !holds(at, kPppoeLength)) {
                return kCut;
            }
            const std::uint32_t payload = at + kPppoeLength - (compressed ? 1 : 0);
            switch (compressed ? bytes[6] : bigEndian16(bytes + 6)) {
                case 0x0021:
                    return {Hop::Outcome::Next, etherType::kIPv4, payload};
                case 0x0057:
                    return {Hop::Outcome::Next, etherType::kIPv6, payload};
                default:
                    return kEnd;
            }
        }
        case etherType::kFabricPath:
            if (!holds(at, kFabricPathTagLength)) {
                return kCut;
            }
            return {Hop::Outcome::Next, etherType::kEthernet, at + kFabricPathTagLength};
        case etherType::k80211: {
            const WirelessFrame::Found found = WirelessFrame::find(frame_, captured_, at);
            switch (found.outcome) {
                case WirelessFrame::Outcome::Payload:
                    return {Hop::Outcome::Next, found.type, found.offset};
                case WirelessFrame::Outcome::CutShort:
                    return kCut;
                case WirelessFrame::Outcome::Unreadable:
                case WirelessFrame::Outcome::NoPayload:
                    break;
            }
            return kEnd;
        }
        case etherType::kBackbone:
            if (!holds(at, kBackboneLength)) {
                return kCut;
            }
            return {Hop::Outcome::Next, bigEndian16(bytes + kBackboneLength - 2), at + kBackboneLength};
        case etherType::kEthernet:
            if (!holds(at, kEthernetLength)) {
                return kCut;
            }
            return {Hop::Outcome::Next, bigEndian16(bytes + kEthernetLength - 2), at + kEthernetLength};
        case etherType::kErspan2:
            if (!holds(at, kErspan2Length)) {
                return kCut;
            }
            return {Hop::Outcome::Next, etherType::kEthernet, at + kErspan2Length};
        case etherType::kErspan3: {
            if (!holds(at, kErspan3Length)) {
                return kCut;
            }
            // The last bit of the fixed header announces a platform-specific subheader.
            const std::uint32_t length =
                kErspan3Length + ((bytes[11] & 0x01) != 0 ? kErspan3SubheaderLength : 0);
            if (!holds(at, length)) {
                return kCut;
            }
            return {Hop::Outcome::Next, etherType::kEthernet, at + length};
        }
        default:
            break;
    }
    if (type < etherType::kLowest) {
        // LLC with a SNAP header of the EtherType space (organisation code 0).
        if (!holds(at, kSnapLength)) {
            return kEnd;
        }
        if (!std::equal(std::begin(net::kLlcSnapHeader), std::end(net::kLlcSnapHeader), bytes)) {
            return kEnd;
        }
        return {Hop::Outcome::Next, bigEndian16(bytes + 6), at + kSnapLength};
    }
    return kEnd;
}

Hop Walker::mpls(std::uint32_t at) const {
    // Labels up to the one marked bottom of stack; the walk counts the stack as one encapsulation, and a
    // stack deeper than the walk may go is cut.
    for (unsigned label = 0; label < TunnelDecoder::kMostEncapsulations; ++label) {
        if (!holds(at, kLabelLength)) {
            return kCut;
        }
        const bool bottom = (frame_[at + 2] & 0x01) != 0;
        at += kLabelLength;
        if (bottom) {
            if (!holds(at, 1)) {
                return kCut;
            }
            if ((frame_[at] >> 4) == 0) {
                // A pseudowire's control word, then the customer's Ethernet frame.
                if (!holds(at, kControlWordLength)) {
                    return kCut;
                }
                return {Hop::Outcome::Next, etherType::kEthernet, at + kControlWordLength};
            }
            return ipByVersion(at);
        }
    }
    return kCut;
}

Hop Walker::ipByVersion(std::uint32_t at) const {
    if (!holds(at, 1)) {
        return kCut;
    }
    switch (frame_[at] >> 4) {
        case 4:
            return {Hop::Outcome::Next, etherType::kIPv4, at};
        case 6:
            return {Hop::Outcome::Next, etherType::kIPv6, at};
        default:
            return kEnd;
    }
}

Hop Walker::ipPayload(std::uint8_t protocol, std::uint32_t at) const {
    switch (protocol) {
        case ipProtocol::kIpInIp:
            return {Hop::Outcome::Next, etherType::kIPv4, at};
        case ipProtocol::kIpv6InIp:
            return {Hop::Outcome::Next, etherType::kIPv6, at};
        case ipProtocol::kGre:
            return gre(at);
        case net::ip::kProtocolUdp:
            return udp(at);
        default:
            return kEnd;
    }
}

Hop Walker::gre(std::uint32_t at) const {
    if (!holds(at, kGreLength)) {
        return kCut;
    }
    const unsigned char* bytes = frame_ + at;
    // Version 0 only, with no flags but checksum, key and sequence number: routing, strict source routes and
    // recursion are long obsolete, and version 1 carries PPP.
    if ((bytes[0] & ~(kGreChecksum | kGreKey | kGreSequence)) != 0 || bytes[1] != 0) {
        return kEnd;
    }
    const bool sequenced = (bytes[0] & kGreSequence) != 0;
    const std::uint32_t length = kGreLength + ((bytes[0] & kGreChecksum) != 0 ? kGreFieldLength : 0) +
                                 ((bytes[0] & kGreKey) != 0 ? kGreFieldLength : 0) +
                                 (sequenced ? kGreFieldLength : 0);
    if (!holds(at, length)) {
        return kCut;
    }
    const std::uint16_t type = bigEndian16(bytes + 2);
    // ERSPAN type I has no header of its own, and no sequence number in its GRE header.
    if (type == etherType::kErspan2 && !sequenced) {
        return {Hop::Outcome::Next, etherType::kEthernet, at + length};
    }
    return {Hop::Outcome::Next, type, at + length};
}

Hop Walker::udp(std::uint32_t at) const {
    if (!holds(at, kUdpLength)) {
        return kEnd;
    }
    const std::uint32_t payload = at + kUdpLength;
    switch (bigEndian16(frame_ + at + 2)) {
        case kPortVxlan:
            if (!holds(payload, kVxlanLength)) {
                return kCut;
            }
            return {Hop::Outcome::Next, etherType::kEthernet, payload + kVxlanLength};
        case kPortGeneve:
            return geneve(payload);
        case kPortGtpUser:
            return gtpUser(payload);
        case kPortGreInUdp:
            return gre(payload);
        case kPortVxlanGpe:
            return vxlanGpe(payload);
        case kPortAyiya:
            return ayiya(payload);
        case kPortCapwapData:
            return capwapData(payload);
        default:
            return kEnd;
    }
}

Hop Walker::vxlanGpe(std::uint32_t at) const {
    if (!holds(at, kVxlanGpeLength)) {
        return kCut;
    }
    const unsigned char* bytes = frame_ + at;
    const std::uint32_t payload = at + kVxlanGpeLength;
    // Without a next protocol, Ethernet as in plain VXLAN.
    if ((bytes[0] & kVxlanGpeNextProtocol) == 0) {
        return {Hop::Outcome::Next, etherType::kEthernet, payload};
    }
    switch (bytes[3]) {
        case 1:
            return {Hop::Outcome::Next, etherType::kIPv4, payload};
        case 2:
            return {Hop::Outcome::Next, etherType::kIPv6, payload};
        case 3:
            return {Hop::Outcome::Next, etherType::kEthernet, payload};
        default:
            return kEnd;
    }
}

Hop Walker::ayiya(std::uint32_t at) const {
    if (!holds(at, kAyiyaLength)) {
        return kCut;
    }
    const unsigned char* bytes = frame_ + at;
    // The identity is 2^n bytes long, the signature n 4-byte words; only forwarded packets carry one.
    const std::uint32_t length = kAyiyaLength + (1U << (bytes[0] >> 4)) + 4U * (bytes[1] >> 4);
    if ((bytes[2] & 0x0F) != kAyiyaForward) {
        return kEnd;
    }
    if (!holds(at, length)) {
        return kCut;
    }
    switch (bytes[3]) {
        case ipProtocol::kIpInIp:
            return {Hop::Outcome::Next, etherType::kIPv4, at + length};
        case ipProtocol::kIpv6InIp:
            return {Hop::Outcome::Next, etherType::kIPv6, at + length};
        default:
            return kEnd;
    }
}

Hop Walker::capwapData(std::uint32_t at) const {
    if (!holds(at, kCapwapLength)) {
        return kCut;
    }
    const unsigned char* bytes = frame_ + at;
    // Version 0 and a CAPWAP header (not a DTLS one); its length in 4-byte words. A fragment of a larger
    // frame is not followed.
    const std::uint32_t length = 4U * (bytes[1] >> 3);
    if (bytes[0] != 0 || length < kCapwapLength || (bytes[3] & kCapwapFragment) != 0) {
        return kEnd;
    }
    if (!holds(at, length)) {
        return kCut;
    }
    // The T bit: a frame in the native format of the wireless binding (802.11 for binding 1), else 802.3.
    const bool native = (bytes[2] & 0x01) != 0;
    const unsigned binding = (bytes[2] >> 1) & 0x1F;
    if (!native) {
        return {Hop::Outcome::Next, etherType::kEthernet, at + length};
    }
    return binding == kCapwapWirelessBinding80211 ? Hop{Hop::Outcome::Next, etherType::k80211, at + length}
                                                  : kEnd;
}

Hop Walker::geneve(std::uint32_t at) const {
    if (!holds(at, kGeneveLength)) {
        return kCut;
    }
    const unsigned char* bytes = frame_ + at;
    if ((bytes[0] >> 6) != 0) {
        return kEnd;
    }
    const std::uint32_t length = kGeneveLength + 4U * (bytes[0] & 0x3FU);
    if (!holds(at, length)) {
        return kCut;
    }
    return {Hop::Outcome::Next, bigEndian16(bytes + 2), at + length};
}

Hop Walker::gtpUser(std::uint32_t at) const {
    if (!holds(at, kGtpLength)) {
        return kCut;
    }
    const unsigned char* bytes = frame_ + at;
    // Version 1 of the user plane, carrying user data; echoes and error indications end the walk.
    if ((bytes[0] & 0xF0) != kGtpVersion1UserPlane || bytes[1] != kGtpUserData) {
        return kEnd;
    }
    std::uint32_t end = at + kGtpLength;
    if ((bytes[0] & kGtpOptionalFields) != 0) {
        if (!holds(end, kGtpOptionalLength)) {
            return kCut;
        }
        std::uint8_t next = (bytes[0] & kGtpExtension) != 0 ? frame_[end + 3] : 0;
        end += kGtpOptionalLength;
        // Extension headers: a length in 4-byte units, their content, and the type of the next one.
        while (next != 0) {
            if (!holds(end, 1) || frame_[end] == 0) {
                return kCut;
            }
            const std::uint32_t length = 4U * frame_[end];
            if (!holds(end, length)) {
                return kCut;
            }
            next = frame_[end + length - 1];
            end += length;
        }
    }
    return ipByVersion(end);
}

}  // namespace

TunnelDecoder::Path TunnelDecoder::follow(const unsigned char* frame, std::uint32_t capturedLength,
                                          LinkLayer::Start start) {
    Path path;
    if (!start.known) {
        return path;
    }
    const Walker walker(frame, capturedLength);
    std::uint16_t type = start.type;
    std::uint32_t at = start.offset;
    unsigned tagsInARow = 0;
    // A single 802.1Q tag right behind the link header is part of plain framing.
    bool plainTag = type == etherType::kVlan;
    for (;;) {
        Hop hop;
        if (type == etherType::kIPv4 || type == etherType::kIPv6) {
            tagsInARow = 0;
            std::uint8_t protocol = 0;
            std::uint32_t payload = 0;
            if (type == etherType::kIPv4) {
                if (!walker.holds(at, net::ip::kFixedLength)) {
                    path.damaged = path.encapsulations != 0;
                    return path;
                }
                if (frame[at] >> 4 != 4) {
                    path.malformed = true;
                    break;
                }
                const auto* header = reinterpret_cast<const net::ip*>(frame + at);
                path.innermost = {Version::IPv4, at};
                if (header->isFragment() || header->headerLength() < net::ip::kFixedLength) {
                    break;
                }
                protocol = header->protocol;
                payload = at + header->headerLength();
            } else {
                if (!walker.holds(at, net::ip6::kFixedLength)) {
                    path.damaged = path.encapsulations != 0;
                    return path;
                }
                if (frame[at] >> 4 != 6) {
                    path.malformed = true;
                    break;
                }
                path.innermost = {Version::IPv6, at};
                const Ipv6HeaderChain::Walk chain = Ipv6HeaderChain::walk(frame + at, capturedLength - at);
                if (!chain.reached || chain.fragment) {
                    break;
                }
                protocol = chain.transportProtocol;
                payload = at + chain.transportOffset;
            }
            if (path.outermost.version == Version::None) {
                path.outermost = path.innermost;
            }
            if (protocol == net::ip::kProtocolTcp) {
                break;
            }
            hop = walker.ipPayload(protocol, payload);
        } else {
            hop = walker.byType(type, at, tagsInARow);
        }
        if (hop.outcome == Hop::Outcome::End) {
            break;
        }
        // The Ethernet or 802.11 header inside a VXLAN, GRE, ERSPAN, CAPWAP or pseudowire belongs to that
        // encapsulation.
        const bool innerFrame = type == etherType::kEthernet || type == etherType::k80211;
        const bool counts =
            !plainTag && !(innerFrame && hop.type != etherType::kEthernet && hop.type != etherType::k80211);
        if (hop.outcome == Hop::Outcome::Cut) {
            path.damaged = !plainTag;
            break;
        }
        plainTag = false;
        if (counts) {
            if (path.encapsulations == kMostEncapsulations) {
                path.damaged = true;
                break;
            }
            ++path.encapsulations;
            path.tunnelled = path.tunnelled || !isTag(type);
        }
        type = hop.type;
        at = hop.offset;
    }
    if (path.outermost.version == Version::None) {
        path.outermost = path.innermost;
    }
    return path;
}

bool TunnelDecoder::endsAtFirstPacket(const unsigned char* frame, std::uint32_t capturedLength,
                                      const LinkLayer::Found& found) {
    if (found.carried != LinkLayer::Carried::IPv4 || capturedLength < found.ipOffset ||
        capturedLength - found.ipOffset < net::ip::kFixedLength) {
        return false;
    }
    const auto* header = reinterpret_cast<const net::ip*>(frame + found.ipOffset);
    return header->protocol == net::ip::kProtocolTcp || header->isFragment();
}

bool TunnelDecoder::opensEncapsulation(std::uint16_t type, const unsigned char* payload,
                                       std::uint32_t capturedLength) {
    switch (type) {
        case etherType::kVlan:
        case etherType::kServiceVlan:
        case etherType::kQinQ:
        case etherType::kMplsUnicast:
        case etherType::kMplsMulticast:
        case etherType::kPppoeSession:
        case etherType::kBackbone:
        case etherType::kFabricPath:
            return true;
        default:
            break;
    }
    return type < etherType::kLowest && capturedLength >= sizeof net::kLlcSnapHeader &&
           std::equal(std::begin(net::kLlcSnapHeader), std::end(net::kLlcSnapHeader), payload);
}

bool TunnelDecoder::isTag(std::uint16_t type) {
    return type == etherType::kVlan || type == etherType::kServiceVlan || type == etherType::kQinQ;
}

bool TunnelDecoder::opensTunnel(std::uint8_t protocol, const unsigned char* payload,
                                std::uint32_t capturedLength) {
    return Walker(payload, capturedLength).ipPayload(protocol, 0).outcome != Hop::Outcome::End;
}

}  // namespace korvo::measurement
