#pragma once
// The fixed 20-byte part of an IPv4 header as it lies over the frame bytes. Options, if any, follow up to the
// header length. Fields stay in network byte order; accessors convert at the point of use.

#include <arpa/inet.h>

#include <cstdint>

#include "net/WireNumbers.h"

namespace korvo::net {

struct __attribute__((packed)) ip {
    static constexpr std::uint32_t kFixedLength = 20;
    static constexpr std::uint8_t kHeaderLengthMask = 0x0F;
    static constexpr std::uint16_t kFragmentOffsetMask = 0x1FFF;
    static constexpr std::uint16_t kMoreFragmentsFlag = 0x2000;
    static constexpr std::uint8_t kProtocolTcp = ipProtocol::kTcp;
    static constexpr std::uint8_t kProtocolUdp = ipProtocol::kUdp;

    // The header length in 32-bit words is the low nibble, the version the high one, whatever bit-field
    // order a compiler would pick; so the byte is kept whole.
    std::uint8_t versionAndHeaderLength;
    std::uint8_t typeOfService;
    std::uint16_t totalLength;
    std::uint16_t identification;
    std::uint16_t flagsAndFragmentOffset;
    std::uint8_t timeToLive;
    std::uint8_t protocol;
    std::uint16_t checksum;
    std::uint32_t sourceAddress;
    std::uint32_t destinationAddress;

    // Header length in bytes: four times the IHL nibble, options included. Not validated: an IHL below 5
    // gives a length shorter than the fixed part.
    [[nodiscard]] std::uint32_t headerLength() const {
        return 4U * static_cast<std::uint32_t>(versionAndHeaderLength & kHeaderLengthMask);
    }
    [[nodiscard]] std::uint16_t totalLengthHost() const { return ntohs(totalLength); }
    [[nodiscard]] std::uint16_t flagsAndFragmentOffsetHost() const { return ntohs(flagsAndFragmentOffset); }
    // A fragment is any piece of a larger datagram: the first one (more-fragments set, offset zero)
    // included. The don't-fragment bit plays no part.
    [[nodiscard]] bool isFragment() const {
        const std::uint16_t field = flagsAndFragmentOffsetHost();
        return (field & kFragmentOffsetMask) != 0 || (field & kMoreFragmentsFlag) != 0;
    }
};

static_assert(sizeof(ip) == ip::kFixedLength);

}  // namespace korvo::net
