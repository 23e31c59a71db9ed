#include "capture/LinkLayer.h"

#include <pcap/dlt.h>
#include <pcap/sll.h>

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "capture/TunnelDecoder.h"
#include "capture/WirelessFrame.h"
#include "net/WireNumbers.h"
#include "net/WireOrder.h"

namespace korvo::measurement {

namespace etherType = net::etherType;

using net::bigEndian16;
using net::bigEndian32;
using net::littleEndian16;
using net::littleEndian32;

namespace {

constexpr std::uint32_t kVlanTagLength = 4;
using net::kLlcSnapHeader;

constexpr std::uint32_t kFamilyLength = 4;
constexpr std::uint32_t kFamilyIPv4 = 2;
// BSD loopback headers name IPv6 by one of three numbers, depending on the system that wrote them.
constexpr std::uint32_t kFamilyIPv6NetBsd = 24;
constexpr std::uint32_t kFamilyIPv6FreeBsd = 28;
constexpr std::uint32_t kFamilyIPv6Darwin = 30;

constexpr std::uint32_t kCookedTypeOffset = offsetof(sll_header, sll_protocol);
constexpr std::uint32_t kCookedLength = SLL_HDR_LEN;
constexpr std::uint32_t kCooked2TypeOffset = offsetof(sll2_header, sll2_protocol);
constexpr std::uint32_t kCooked2Length = SLL2_HDR_LEN;

// PPP protocol numbers (RFC 1661, 3032), and the EtherTypes of the same protocols.
constexpr std::uint16_t kPppIPv4 = 0x0021;
constexpr std::uint16_t kPppIPv6 = 0x0057;
constexpr std::uint16_t kPppMplsUnicast = 0x0281;
constexpr std::uint16_t kPppMplsMulticast = 0x0283;
// The address and control bytes of HDLC-like framing (RFC 1662), and the address bytes of Cisco HDLC.
constexpr unsigned char kPppAddress = 0xFF;
constexpr unsigned char kPppControl = 0x03;
constexpr unsigned char kCiscoUnicast = 0x0F;
constexpr unsigned char kCiscoMulticast = 0x8F;
constexpr std::uint32_t kCiscoHdlcLength = 4;
// Frame control, destination and source address; then an LLC/SNAP header.
constexpr std::uint32_t kFddiLength = 13;

// NFLOG: the address family, a version and a resource id, then type-length-value attributes, each padded to
// 4 bytes, whose length and type are in the byte order of the host that logged them (little endian here).
constexpr std::uint32_t kNflogLength = 4;
constexpr std::uint32_t kNflogAttributeLength = 4;
constexpr std::uint16_t kNflogPayload = 9;
// The attribute type's top bits are flags.
constexpr std::uint16_t kNflogTypeMask = 0x3FFF;
constexpr std::uint8_t kFamilyInet = 2;
constexpr std::uint8_t kFamilyInet6 = 10;

constexpr LinkLayer::Found kOther{LinkLayer::Carried::Other, 0};
constexpr LinkLayer::Found kEncapsulated{LinkLayer::Carried::Encapsulated, 0};

// What a frame carries under an EtherType that is neither IP nor a single VLAN tag, `at` being where that
// EtherType's payload starts: an encapsulation where the tunnel decoder enters one there.
LinkLayer::Found otherType(std::uint16_t type, const unsigned char* frame, std::uint32_t capturedLength,
                           std::uint32_t at) {
    const std::uint32_t captured = capturedLength > at ? capturedLength - at : 0;
    return TunnelDecoder::opensEncapsulation(type, frame + at, captured) ? kEncapsulated : kOther;
}

}  // namespace

LinkLayer::LinkLayer(int linkType) {
    switch (linkType) {
        case DLT_EN10MB:
            framing_ = Framing::Ethernet;
            break;
        case DLT_LINUX_SLL:
            framing_ = Framing::Cooked;
            break;
        case DLT_LINUX_SLL2:
            framing_ = Framing::Cooked2;
            break;
        case DLT_RAW:
        case kBsdOsRaw:
        case kLinktypeRaw:
            framing_ = Framing::Raw;
            break;
        case DLT_IPV4:
            framing_ = Framing::IPv4Only;
            break;
        case DLT_IPV6:
            framing_ = Framing::IPv6Only;
            break;
        case DLT_NULL:
            framing_ = Framing::Null;
            break;
        case DLT_LOOP:
            framing_ = Framing::Loop;
            break;
        case DLT_PPP:
            framing_ = Framing::Ppp;
            break;
        case DLT_PPP_SERIAL:
            framing_ = Framing::PppSerial;
            break;
        case DLT_C_HDLC:
            framing_ = Framing::CiscoHdlc;
            break;
        case DLT_FDDI:
            framing_ = Framing::Fddi;
            break;
        case DLT_IEEE802_11:
            framing_ = Framing::Ieee80211;
            break;
        case DLT_IEEE802_11_RADIO:
            framing_ = Framing::Radiotap;
            break;
        case DLT_PPI:
            framing_ = Framing::Ppi;
            break;
        case DLT_NFLOG:
            framing_ = Framing::Nflog;
            break;
        default:
            framing_ = Framing::None;
            break;
    }
}

bool LinkLayer::decodes(int linkType, bool ipv6) {
    const Framing framing = LinkLayer(linkType).framing_;
    return framing != Framing::None && (ipv6 || framing != Framing::IPv6Only);
}

LinkLayer::Found LinkLayer::findAny(const unsigned char* frame, std::uint32_t capturedLength) const {
    switch (framing_) {
        case Framing::Ethernet:
            return typed(frame, capturedLength, kEthernetTypeOffset, kEthernetLength);
        case Framing::Cooked:
            return typed(frame, capturedLength, kCookedTypeOffset, kCookedLength);
        case Framing::Cooked2:
            return typed(frame, capturedLength, kCooked2TypeOffset, kCooked2Length);
        case Framing::Raw:
            if (capturedLength < 1) {
                return kOther;
            }
            switch (frame[0] >> 4) {
                case 4:
                    return {Carried::IPv4, 0};
                case 6:
                    return {Carried::IPv6, 0};
                default:
                    return kOther;
            }
        case Framing::IPv4Only:
            return {Carried::IPv4, 0};
        case Framing::IPv6Only:
            return {Carried::IPv6, 0};
        case Framing::Null:
            if (capturedLength < kFamilyLength) {
                return kOther;
            }
            {
                // The family is in the writing host's byte order, which the file does not record. No family
                // number reads as another in the opposite order, so the first match is the only one.
                const Found little = addressFamily(littleEndian32(frame));
                return little.carried != Carried::Other ? little : addressFamily(bigEndian32(frame));
            }
        case Framing::Loop:
            if (capturedLength < kFamilyLength) {
                return kOther;
            }
            return addressFamily(bigEndian32(frame));
        case Framing::None:
            break;
        default: {
            const Behind behind = behindOwnHeader(frame, capturedLength);
            if (!behind.named) {
                return {behind.carried, 0};
            }
            return byType(behind.type, frame, capturedLength, behind.offset);
        }
    }
    return kOther;
}

LinkLayer::Found LinkLayer::typed(const unsigned char* frame, std::uint32_t capturedLength,
                                  std::uint32_t typeOffset, std::uint32_t headerLength) {
    if (capturedLength < typeOffset + 2) {
        return kOther;
    }
    return byType(bigEndian16(frame + typeOffset), frame, capturedLength, headerLength);
}

LinkLayer::Found LinkLayer::byType(std::uint16_t type, const unsigned char* frame,
                                   std::uint32_t capturedLength, std::uint32_t at) {
    switch (type) {
        case etherType::kIPv4:
            return {Carried::IPv4, at};
        case etherType::kIPv6:
            return {Carried::IPv6, at};
        case etherType::kVlan:
            break;
        default:
            return otherType(type, frame, capturedLength, at);
    }
    // One 802.1Q tag: its TCI, then the EtherType of what it carries.
    const std::uint32_t innerTypeOffset = at + 2;
    if (capturedLength < innerTypeOffset + 2) {
        return kOther;
    }
    switch (bigEndian16(frame + innerTypeOffset)) {
        case etherType::kIPv4:
            return {Carried::IPv4, at + kVlanTagLength};
        case etherType::kIPv6:
            return {Carried::IPv6, at + kVlanTagLength};
        default:
            return otherType(bigEndian16(frame + innerTypeOffset), frame, capturedLength,
                             at + kVlanTagLength);
    }
}

LinkLayer::Behind LinkLayer::behindOwnHeader(const unsigned char* frame, std::uint32_t capturedLength) const {
    constexpr Behind kCutShort{false, Carried::CutShort};
    // A PPP protocol field from `at`: one byte where the first is odd (the field compressed, RFC 1661).
    const auto ppp = [&](std::uint32_t at) -> Behind {
        if (capturedLength <= at) {
            return kCutShort;
        }
        std::uint16_t protocol = frame[at];
        std::uint32_t length = 1;
        if ((protocol & 0x01) == 0) {
            if (capturedLength < at + 2) {
                return kCutShort;
            }
            protocol = bigEndian16(frame + at);
            length = 2;
        }
        switch (protocol) {
            case kPppIPv4:
                return {true, Carried::Other, etherType::kIPv4, at + length};
            case kPppIPv6:
                return {true, Carried::Other, etherType::kIPv6, at + length};
            case kPppMplsUnicast:
                return {true, Carried::Other, etherType::kMplsUnicast, at + length};
            case kPppMplsMulticast:
                return {true, Carried::Other, etherType::kMplsMulticast, at + length};
            default:
                return {};
        }
    };
    const auto ciscoHdlc = [&]() -> Behind {
        if (capturedLength < kCiscoHdlcLength) {
            return kCutShort;
        }
        if (frame[0] != kCiscoUnicast && frame[0] != kCiscoMulticast) {
            return {};
        }
        return {true, Carried::Other, bigEndian16(frame + 2), kCiscoHdlcLength};
    };
    const auto wireless = [](const WirelessFrame::Found& found) -> Behind {
        switch (found.outcome) {
            case WirelessFrame::Outcome::Payload:
                return {true, Carried::Other, found.type, found.offset};
            case WirelessFrame::Outcome::Unreadable:
                return {false, Carried::Unreadable};
            case WirelessFrame::Outcome::CutShort:
                return {false, Carried::CutShort};
            case WirelessFrame::Outcome::NoPayload:
                break;
        }
        return {};
    };
    switch (framing_) {
        case Framing::Ppp:
        case Framing::PppSerial:
            if (capturedLength >= 1 && (frame[0] == kCiscoUnicast || frame[0] == kCiscoMulticast)) {
                return ciscoHdlc();
            }
            // The address and control bytes may be left out (RFC 1661's address-and-control compression);
            // no protocol starts with the address byte.
            if (capturedLength >= 1 && frame[0] == kPppAddress) {
                if (capturedLength < 2) {
                    return kCutShort;
                }
                if (frame[1] == kPppControl) {
                    return ppp(2);
                }
            }
            return ppp(0);
        case Framing::CiscoHdlc:
            return ciscoHdlc();
        case Framing::Fddi: {
            const std::uint32_t at = kFddiLength;
            if (capturedLength < at + sizeof kLlcSnapHeader + 2) {
                return kCutShort;
            }
            if (!std::equal(std::begin(kLlcSnapHeader), std::end(kLlcSnapHeader), frame + at)) {
                return {};
            }
            return {true, Carried::Other, bigEndian16(frame + at + sizeof kLlcSnapHeader),
                    at + static_cast<std::uint32_t>(sizeof kLlcSnapHeader) + 2};
        }
        case Framing::Ieee80211:
            return wireless(WirelessFrame::find(frame, capturedLength, 0));
        case Framing::Radiotap:
            return wireless(WirelessFrame::behindRadiotap(frame, capturedLength));
        case Framing::Ppi:
            return wireless(WirelessFrame::behindPpi(frame, capturedLength));
        case Framing::Nflog: {
            if (capturedLength < kNflogLength) {
                return kCutShort;
            }
            const std::uint8_t family = frame[0];
            if (family != kFamilyInet && family != kFamilyInet6) {
                return {};
            }
            std::uint32_t at = kNflogLength;
            while (capturedLength - at >= kNflogAttributeLength) {
                const std::uint32_t length = littleEndian16(frame + at);
                if (length < kNflogAttributeLength) {
                    return {};
                }
                if ((littleEndian16(frame + at + 2) & kNflogTypeMask) == kNflogPayload) {
                    return {true, Carried::Other, family == kFamilyInet ? etherType::kIPv4 : etherType::kIPv6,
                            at + kNflogAttributeLength};
                }
                const std::uint32_t padded = (length + 3) / 4 * 4;
                if (padded > capturedLength - at) {
                    break;
                }
                at += padded;
            }
            return kCutShort;
        }
        default:
            return {};
    }
}

LinkLayer::Start LinkLayer::start(const unsigned char* frame, std::uint32_t capturedLength) const {
    const auto typedStart = [&](std::uint32_t typeOffset, std::uint32_t headerLength) {
        return capturedLength >= headerLength && capturedLength >= typeOffset + 2
                   ? Start{true, bigEndian16(frame + typeOffset), headerLength}
                   : Start{};
    };
    switch (framing_) {
        case Framing::Ethernet:
            return typedStart(kEthernetTypeOffset, kEthernetLength);
        case Framing::Cooked:
            return typedStart(kCookedTypeOffset, kCookedLength);
        case Framing::Cooked2:
            return typedStart(kCooked2TypeOffset, kCooked2Length);
        case Framing::None:
            return {};
        case Framing::Raw:
        case Framing::IPv4Only:
        case Framing::IPv6Only:
        case Framing::Null:
        case Framing::Loop:
            break;
        default: {
            const Behind behind = behindOwnHeader(frame, capturedLength);
            return behind.named ? Start{true, behind.type, behind.offset} : Start{};
        }
    }
    // The link types that carry IP directly.
    const Found found = findAny(frame, capturedLength);
    switch (found.carried) {
        case Carried::IPv4:
            return {true, etherType::kIPv4, found.ipOffset};
        case Carried::IPv6:
            return {true, etherType::kIPv6, found.ipOffset};
        default:
            return {};
    }
}

LinkLayer::Found LinkLayer::addressFamily(std::uint32_t family) {
    switch (family) {
        case kFamilyIPv4:
            return {Carried::IPv4, kFamilyLength};
        case kFamilyIPv6NetBsd:
        case kFamilyIPv6FreeBsd:
        case kFamilyIPv6Darwin:
            return {Carried::IPv6, kFamilyLength};
        default:
            return kOther;
    }
}

}  // namespace korvo::measurement
