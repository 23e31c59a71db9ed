#pragma once
// Stores integers into frame and file bytes in a fixed byte order, and computes the Internet checksum, for
// the code that lays out frames and capture records byte by byte.

#include <cstddef>
#include <cstdint>
#include <span>

namespace korvo::tools::wire {

inline void storeBigEndian16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}

inline void storeBigEndian32(std::uint8_t* at, std::uint32_t value) {
    storeBigEndian16(at, static_cast<std::uint16_t>(value >> 16));
    storeBigEndian16(at + 2, static_cast<std::uint16_t>(value));
}

inline void storeLittleEndian16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void storeLittleEndian32(std::uint8_t* at, std::uint32_t value) {
    storeLittleEndian16(at, static_cast<std::uint16_t>(value));
    storeLittleEndian16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

// One's-complement sum of the bytes taken as big-endian 16-bit words (an odd last byte is padded with zero),
// complemented: the value to store in an IPv4 header whose checksum field is zero while summing.
inline std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    }
    if (i < bytes.size()) {
        sum += static_cast<std::uint32_t>(bytes[i] << 8);
    }
    while ((sum >> 16) != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

}  // namespace korvo::tools::wire
