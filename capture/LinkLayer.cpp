#include "capture/LinkLayer.h"

namespace korvo::measurement {

namespace {

// Link-type numbers as the capture library reports them.
constexpr int kNull = 0;
constexpr int kRawOpenBsd = 12;
constexpr int kRawBsdOs = 14;
constexpr int kRaw = 101;
constexpr int kLoop = 108;
constexpr int kLinuxCooked = 113;
constexpr int kIPv4 = 228;
constexpr int kIPv6 = 229;
constexpr int kLinuxCooked2 = 276;

constexpr std::uint16_t kEtherTypeIPv4 = 0x0800;
constexpr std::uint16_t kEtherTypeIPv6 = 0x86DD;
constexpr std::uint16_t kEtherTypeVlan = 0x8100;
// Service tags and the older QinQ TPID: the outer tag of a stacked pair.
constexpr std::uint16_t kEtherTypeServiceVlan = 0x88A8;
constexpr std::uint16_t kEtherTypeQinQ = 0x9100;
constexpr std::uint32_t kVlanTagLength = 4;

constexpr std::uint32_t kFamilyLength = 4;
constexpr std::uint32_t kFamilyIPv4 = 2;
// BSD loopback headers name IPv6 by one of three numbers, depending on the system that wrote them.
constexpr std::uint32_t kFamilyIPv6NetBsd = 24;
constexpr std::uint32_t kFamilyIPv6FreeBsd = 28;
constexpr std::uint32_t kFamilyIPv6Darwin = 30;

constexpr std::uint32_t kCookedTypeOffset = 14;
constexpr std::uint32_t kCookedLength = 16;
constexpr std::uint32_t kCooked2TypeOffset = 0;
constexpr std::uint32_t kCooked2Length = 20;

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

}  // namespace

LinkLayer::LinkLayer(int linkType) {
    switch (linkType) {
        case kEthernet:
            framing_ = Framing::Ethernet;
            break;
        case kLinuxCooked:
            framing_ = Framing::Cooked;
            break;
        case kLinuxCooked2:
            framing_ = Framing::Cooked2;
            break;
        case kRawOpenBsd:
        case kRawBsdOs:
        case kRaw:
            framing_ = Framing::Raw;
            break;
        case kIPv4:
            framing_ = Framing::IPv4Only;
            break;
        case kIPv6:
            framing_ = Framing::IPv6Only;
            break;
        case kNull:
            framing_ = Framing::Null;
            break;
        case kLoop:
            framing_ = Framing::Loop;
            break;
        default:
            framing_ = Framing::None;
            break;
    }
}

bool LinkLayer::decodes(int linkType) {
    const Framing framing = LinkLayer(linkType).framing_;
    return framing != Framing::None && framing != Framing::IPv6Only;
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
            return {Carried::IPv6, 0};
        case kEtherTypeServiceVlan:
        case kEtherTypeQinQ:
            return {Carried::StackedTags, 0};
        case kEtherTypeVlan:
            break;
        default:
            return kOther;
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
            return {Carried::IPv6, 0};
        case kEtherTypeVlan:
        case kEtherTypeServiceVlan:
        case kEtherTypeQinQ:
            return {Carried::StackedTags, 0};
        default:
            return kOther;
    }
}

LinkLayer::Found LinkLayer::addressFamily(std::uint32_t family) {
    switch (family) {
        case kFamilyIPv4:
            return {Carried::IPv4, kFamilyLength};
        case kFamilyIPv6NetBsd:
        case kFamilyIPv6FreeBsd:
        case kFamilyIPv6Darwin:
            return {Carried::IPv6, 0};
        default:
            return kOther;
    }
}

}  // namespace korvo::measurement
