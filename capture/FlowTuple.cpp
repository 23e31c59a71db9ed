#include "capture/FlowTuple.h"

#include <arpa/inet.h>

#include <bit>
#include <cstring>

namespace korvo::measurement {

namespace {

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

std::string FlowTuple::formatAddress(std::uint32_t address) {
    const std::uint32_t host = ntohl(address);
    return std::to_string(host >> 24) + '.' + std::to_string((host >> 16) & 0xFF) + '.' +
           std::to_string((host >> 8) & 0xFF) + '.' + std::to_string(host & 0xFF);
}

std::string FlowTuple::toString() const {
    std::string text;
    switch (protocol) {
        case net::ip::kProtocolTcp:
            text = "TCP ";
            break;
        case net::ip::kProtocolUdp:
            text = "UDP ";
            break;
        default:
            text = "Unknown/" + std::to_string(protocol) + ' ';
            break;
    }
    text += formatAddress(sourceAddress);
    if (hasPorts()) {
        text += ':' + std::to_string(ntohs(sourcePort));
    }
    text += " -> ";
    text += formatAddress(destinationAddress);
    if (hasPorts()) {
        text += ':' + std::to_string(ntohs(destinationPort));
    }
    return text;
}

}  // namespace korvo::measurement
