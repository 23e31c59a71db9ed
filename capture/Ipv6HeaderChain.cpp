#include "capture/Ipv6HeaderChain.h"

#include "net/Ipv6Header.h"

namespace korvo::measurement {

namespace {

constexpr std::uint8_t kHopByHop = 0;
constexpr std::uint8_t kRouting = 43;
constexpr std::uint8_t kFragment = 44;
constexpr std::uint8_t kAuthentication = 51;
constexpr std::uint8_t kDestinationOptions = 60;
constexpr std::uint8_t kMobility = 135;
constexpr std::uint8_t kHostIdentity = 139;
constexpr std::uint8_t kShim6 = 140;
constexpr std::uint8_t kExperimental1 = 253;
constexpr std::uint8_t kExperimental2 = 254;

constexpr std::uint32_t kFragmentHeaderLength = 8;
constexpr std::uint16_t kFragmentOffsetMask = 0xFFF8;
constexpr std::uint16_t kMoreFragments = 0x0001;

constexpr std::uint8_t kPad1 = 0;
constexpr std::uint8_t kJumboPayload = 0xC2;
constexpr std::uint8_t kJumboPayloadLength = 4;

// Headers laid out as next header, length in 8-byte units beyond the first 8, then their content.
bool hasCommonLayout(std::uint8_t header) {
    switch (header) {
        case kHopByHop:
        case kRouting:
        case kDestinationOptions:
        case kMobility:
        case kHostIdentity:
        case kShim6:
        case kExperimental1:
        case kExperimental2:
            return true;
        default:
            return false;
    }
}

}  // namespace

Ipv6HeaderChain::Walk Ipv6HeaderChain::walk(const unsigned char* packet, std::uint32_t capturedLength) {
    Walk walk;
    std::uint8_t header = reinterpret_cast<const net::ip6*>(packet)->nextHeader;
    std::uint32_t offset = net::ip6::kFixedLength;
    for (unsigned walked = 0;; ++walked) {
        const bool extension = hasCommonLayout(header) || header == kFragment || header == kAuthentication;
        if (!extension) {
            walk.reached = true;
            walk.transportProtocol = header;
            walk.transportOffset = offset;
            return walk;
        }
        if (walked == kMostHeaders || capturedLength - offset < 2) {
            return walk;
        }
        const unsigned char* at = packet + offset;
        std::uint32_t length = 0;
        if (header == kFragment) {
            length = kFragmentHeaderLength;
        } else if (header == kAuthentication) {
            length = (std::uint32_t{at[1]} + 2) * 4;
        } else {
            length = (std::uint32_t{at[1]} + 1) * 8;
        }
        if (capturedLength - offset < length) {
            return walk;
        }
        if (header == kFragment) {
            const auto field = static_cast<std::uint16_t>(at[2] << 8 | at[3]);
            if ((field & (kFragmentOffsetMask | kMoreFragments)) != 0) {
                walk.fragment = true;
                walk.transportOffset = offset;
                return walk;
            }
        } else if (header == kHopByHop && walked == 0) {
            walk.jumboPayloadLength = jumboPayloadLength(at + 2, at + length);
        }
        header = at[0];
        offset += length;
    }
}

std::uint32_t Ipv6HeaderChain::jumboPayloadLength(const unsigned char* options, const unsigned char* end) {
    while (options < end) {
        if (options[0] == kPad1) {
            ++options;
            continue;
        }
        if (end - options < 2 || end - options - 2 < options[1]) {
            return 0;
        }
        if (options[0] == kJumboPayload && options[1] == kJumboPayloadLength) {
            return std::uint32_t{options[2]} << 24 | std::uint32_t{options[3]} << 16 |
                   std::uint32_t{options[4]} << 8 | options[5];
        }
        options += 2 + options[1];
    }
    return 0;
}

}  // namespace korvo::measurement
