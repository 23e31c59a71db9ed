#pragma once
// The Ethernet II header as it lies over the first 14 bytes of a frame. Fields stay in network byte order;
// accessors convert at the point of use.

#include <arpa/inet.h>

#include <cstdint>
#include <cstring>

#include "net/WireNumbers.h"

namespace korvo::net {

struct __attribute__((packed)) ether_header {
    static constexpr std::uint32_t kLength = 14;
    static constexpr std::uint32_t kEtherTypeOffset = 12;
    static constexpr std::uint16_t kEtherTypeIPv4 = etherType::kIPv4;
    static constexpr std::uint16_t kEtherTypeVlan = etherType::kVlan;
    // An 802.1Q tag (TPID and TCI) sits between the source address and the real EtherType.
    static constexpr std::uint32_t kVlanTagLength = 4;

    std::uint8_t destinationAddress[6];
    std::uint8_t sourceAddress[6];
    std::uint16_t etherType;

    [[nodiscard]] std::uint16_t etherTypeHost() const { return ntohs(etherType); }
};

static_assert(sizeof(ether_header) == ether_header::kLength);

}  // namespace korvo::net
