#pragma once
// The fixed 40-byte IPv6 header as it lies over the frame bytes. Extension headers, if any, follow it and are
// walked by the capture layer. Fields stay in network byte order; accessors convert at the point of use.

#include <arpa/inet.h>

#include <array>
#include <cstdint>

namespace korvo::net {

struct __attribute__((packed)) ip6 {
    static constexpr std::uint32_t kFixedLength = 40;

    std::uint32_t versionClassAndLabel;
    std::uint16_t payloadLength;
    std::uint8_t nextHeader;
    std::uint8_t hopLimit;
    std::array<std::uint8_t, 16> sourceAddress;
    std::array<std::uint8_t, 16> destinationAddress;

    [[nodiscard]] std::uint16_t payloadLengthHost() const { return ntohs(payloadLength); }
};

static_assert(sizeof(ip6) == ip6::kFixedLength);

}  // namespace korvo::net
