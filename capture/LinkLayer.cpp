#include "capture/LinkLayer.h"

#include <pcap/dlt.h>
#include <pcap/sll.h>

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace korvo::measurement {

namespace {

constexpr std::uint16_t kEtherTypeIPv4 = 0x0800;
constexpr std::uint16_t kEtherTypeIPv6 = 0x86DD;
constexpr std::uint16_t kEtherTypeVlan = 0x8100;
// Service tags and the older QinQ TPID: the outer tag of a stacked pair.
constexpr std::uint16_t kEtherTypeServiceVlan = 0x88A8;
constexpr std::uint16_t kEtherTypeQinQ = 0x9100;
constexpr std::uint32_t kVlanTagLength = 4;
constexpr std::uint16_t kEtherTypeMplsUnicast = 0x8847;
constexpr std::uint16_t kEtherTypeMplsMulticast = 0x8848;
constexpr std::uint16_t kEtherTypePppoeSession = 0x8864;
constexpr std::uint16_t kEtherTypeBackbone = 0x88E7;
// EtherType values below this are 802.3 lengths: an LLC header follows.
constexpr std::uint16_t kLowestEtherType = 0x0600;
constexpr unsigned char kSnapHeader[] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00};

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

std::uint16_t bigEndian16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::uint32_t bigEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 |
           bytes[3];
}

std::uint32_t littleEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[1]} << 8 |
           bytes[0];
}

constexpr LinkLayer::Found kOther{LinkLayer::Carried::Other, 0};
constexpr LinkLayer::Found kEncapsulated{LinkLayer::Carried::Encapsulated, 0};

// What a frame carries under an EtherType that is neither IP nor a single VLAN tag, `at` being where that
// EtherType's payload starts.
LinkLayer::Found otherType(std::uint16_t type, const unsigned char* frame, std::uint32_t capturedLength,
                           std::uint32_t at) {
    switch (type) {
        case kEtherTypeVlan:
        case kEtherTypeServiceVlan:
        case kEtherTypeQinQ:
        case kEtherTypeMplsUnicast:
        case kEtherTypeMplsMulticast:
        case kEtherTypePppoeSession:
        case kEtherTypeBackbone:
            return kEncapsulated;
        default:
            break;
    }
    if (type < kLowestEtherType && capturedLength >= at + sizeof kSnapHeader &&
        std::equal(std::begin(kSnapHeader), std::end(kSnapHeader), frame + at)) {
        return kEncapsulated;
    }
    return kOther;
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
    }
    return kOther;
}

LinkLayer::Found LinkLayer::typed(const unsigned char* frame, std::uint32_t capturedLength,
                                  std::uint32_t typeOffset, std::uint32_t headerLength) {
    if (capturedLength < typeOffset + 2) {
        return kOther;
    }
    switch (bigEndian16(frame + typeOffset)) {
        case kEtherTypeIPv4:
            return {Carried::IPv4, headerLength};
        case kEtherTypeIPv6:
            return {Carried::IPv6, headerLength};
        case kEtherTypeVlan:
            break;
        default:
            return otherType(bigEndian16(frame + typeOffset), frame, capturedLength, headerLength);
    }
    // One 802.1Q tag: its TCI, then the EtherType of what it carries.
    const std::uint32_t innerTypeOffset = headerLength + 2;
    if (capturedLength < innerTypeOffset + 2) {
        return kOther;
    }
    switch (bigEndian16(frame + innerTypeOffset)) {
        case kEtherTypeIPv4:
            return {Carried::IPv4, headerLength + kVlanTagLength};
        case kEtherTypeIPv6:
            return {Carried::IPv6, headerLength + kVlanTagLength};
        default:
            return otherType(bigEndian16(frame + innerTypeOffset), frame, capturedLength,
                             headerLength + kVlanTagLength);
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
        default:
            break;
    }
    // The link types that carry IP directly.
    const Found found = findAny(frame, capturedLength);
    switch (found.carried) {
        case Carried::IPv4:
            return {true, kEtherTypeIPv4, found.ipOffset};
        case Carried::IPv6:
            return {true, kEtherTypeIPv6, found.ipOffset};
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
