#pragma once
// Reads header fields as the flow hash takes them: the number whose bytes, least significant first, are a
// field's wire bytes as stored.

#include <bit>
#include <cstdint>
#include <cstring>

namespace korvo::net {

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
