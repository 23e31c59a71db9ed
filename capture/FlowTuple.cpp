#include "capture/FlowTuple.h"

#include <arpa/inet.h>

#include <bit>
#include <charconv>
#include <cstring>

namespace korvo::measurement {

namespace {

void appendNumber(std::string& out, unsigned value) {
    char digits[12];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// The number whose bytes, least significant first, are the stored (wire-order) bytes of `stored`.
std::uint32_t littleEndianValue(std::uint32_t stored) {
    if constexpr (std::endian::native == std::endian::little) {
        return stored;
    } else {
        return __builtin_bswap32(stored);
    }
}

std::uint16_t littleEndianValue(std::uint16_t stored) {
    if constexpr (std::endian::native == std::endian::little) {
        return stored;
    } else {
        return __builtin_bswap16(stored);
    }
}

}  // namespace

FlowTuple::FlowTuple(const net::ip* header)
    : sourceAddress(header->sourceAddress),
      destinationAddress(header->destinationAddress),
      protocol(header->protocol) {
    if (hasPorts()) {
        const auto* transport = reinterpret_cast<const unsigned char*>(header) + header->headerLength();
        std::memcpy(&sourcePort, transport, sizeof sourcePort);
        std::memcpy(&destinationPort, transport + sizeof sourcePort, sizeof destinationPort);
    }
}

std::int32_t FlowTuple::flowHash() const {
    std::uint32_t sum = protocol;
    sum += littleEndianValue(sourceAddress);
    sum += littleEndianValue(destinationAddress);
    if (hasPorts()) {
        sum += littleEndianValue(sourcePort);
        sum += littleEndianValue(destinationPort);
    }
    return static_cast<std::int32_t>(sum);
}

FlowTuple FlowTuple::reversed() const {
    FlowTuple reverse = *this;
    std::swap(reverse.sourceAddress, reverse.destinationAddress);
    if (hasPorts()) {
        std::swap(reverse.sourcePort, reverse.destinationPort);
    }
    return reverse;
}

void FlowTuple::appendAddress(std::string& out, std::uint32_t address) {
    const std::uint32_t host = ntohl(address);
    for (int shift = 24; shift >= 0; shift -= 8) {
        appendNumber(out, (host >> shift) & 0xFFU);
        if (shift != 0) {
            out.push_back('.');
        }
    }
}

void FlowTuple::appendText(std::string& out) const {
    switch (protocol) {
        case net::ip::kProtocolTcp:
            out.append("TCP ");
            break;
        case net::ip::kProtocolUdp:
            out.append("UDP ");
            break;
        default:
            out.append("Unknown/");
            appendNumber(out, protocol);
            out.push_back(' ');
            break;
    }
    appendAddress(out, sourceAddress);
    if (hasPorts()) {
        out.push_back(':');
        appendNumber(out, ntohs(sourcePort));
    }
    out.append(" -> ");
    appendAddress(out, destinationAddress);
    if (hasPorts()) {
        out.push_back(':');
        appendNumber(out, ntohs(destinationPort));
    }
}

std::string FlowTuple::toString() const {
    std::string text;
    appendText(text);
    return text;
}

}  // namespace korvo::measurement
