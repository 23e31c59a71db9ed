#pragma once
// Reads header fields from wire bytes: in network (big-endian) order, in little-endian order (radio and
// logging headers that record their host's order), and as the flow hash takes them: the number whose bytes,
// least significant first, are a field's wire bytes as stored.

#include <bit>
#include <cstdint>
#include <cstring>

namespace korvo::net {

inline std::uint16_t bigEndian16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

inline std::uint32_t bigEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 |
           bytes[3];
}

inline std::uint16_t littleEndian16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline std::uint32_t littleEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[1]} << 8 |
           bytes[0];
}

inline std::uint32_t littleEndianValue(std::uint32_t stored) {
    if constexpr (std::endian::native == std::endian::little) {
        return stored;
    } else {
        return __builtin_bswap32(stored);
    }
}

inline std::uint16_t littleEndianValue(std::uint16_t stored) {
    if constexpr (std::endian::native == std::endian::little) {
        return stored;
    } else {
        return __builtin_bswap16(stored);
    }
}

// The same of the four wire bytes at `bytes`.
inline std::uint32_t littleEndianWord(const void* bytes) {
    std::uint32_t stored = 0;
    std::memcpy(&stored, bytes, sizeof stored);
    return littleEndianValue(stored);
}

}  // namespace korvo::net
