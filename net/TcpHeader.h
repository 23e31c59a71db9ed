#pragma once
// The fixed 20-byte part of a TCP header as it lies over the frame bytes. Fields stay in network byte order;
// accessors convert at the point of use.

#include <arpa/inet.h>

#include <cstdint>

namespace korvo::net {

struct __attribute__((packed)) tcphdr {
    static constexpr std::uint32_t kFixedLength = 20;
    static constexpr std::uint8_t kFin = 0x01;
    static constexpr std::uint8_t kSyn = 0x02;
    static constexpr std::uint8_t kRst = 0x04;
    static constexpr std::uint8_t kAck = 0x10;

    std::uint16_t sourcePort;
    std::uint16_t destinationPort;
    std::uint32_t sequenceNumber;
    std::uint32_t acknowledgementNumber;
    std::uint8_t dataOffsetAndReserved;
    std::uint8_t flags;
    std::uint16_t window;
    std::uint16_t checksum;
    std::uint16_t urgentPointer;

    [[nodiscard]] std::uint32_t sequenceNumberHost() const { return ntohl(sequenceNumber); }
    [[nodiscard]] std::uint32_t acknowledgementNumberHost() const { return ntohl(acknowledgementNumber); }
    // Header length in bytes: four times the data offset nibble, options included. Not validated.
    [[nodiscard]] std::uint32_t headerLength() const {
        return 4U * static_cast<std::uint32_t>(dataOffsetAndReserved >> 4);
    }
};

static_assert(sizeof(tcphdr) == tcphdr::kFixedLength);

}  // namespace korvo::net
