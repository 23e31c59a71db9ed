#include "capture/FlowTuple.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

#include "net/WireOrder.h"

namespace korvo::measurement {

namespace {

char* writeNumber(char* out, unsigned value) {
    return std::to_chars(out, out + 10, value).ptr;
}

char* writeLiteral(char* out, std::string_view text) {
    return std::copy(text.begin(), text.end(), out);
}

// The decimal text of every byte value, padded to three characters, and its length: a dotted quad is then
// four copies, not four conversions.
struct OctetText {
    std::array<char, 3> digits{};
    std::uint8_t length = 0;
};
constexpr std::array<OctetText, 256> kOctets = [] {
    std::array<OctetText, 256> octets{};
    for (unsigned value = 0; value < 256; ++value) {
        OctetText& octet = octets[value];
        if (value >= 100) {
            octet.digits[octet.length++] = static_cast<char>('0' + value / 100);
        }
        if (value >= 10) {
            octet.digits[octet.length++] = static_cast<char>('0' + value / 10 % 10);
        }
        octet.digits[octet.length++] = static_cast<char>('0' + value % 10);
    }
    return octets;
}();

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
    sum += net::littleEndianValue(sourceAddress);
    sum += net::littleEndianValue(destinationAddress);
    if (hasPorts()) {
        sum += net::littleEndianValue(sourcePort);
        sum += net::littleEndianValue(destinationPort);
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

char* FlowTuple::writeAddress(char* out, std::uint32_t address) {
    const std::uint32_t host = ntohl(address);
    for (int shift = 24; shift >= 0; shift -= 8) {
        // Three characters are always copied: the room for the longest octet holds them.
        const OctetText& octet = kOctets[(host >> shift) & 0xFFU];
        std::memcpy(out, octet.digits.data(), octet.digits.size());
        out += octet.length;
        if (shift != 0) {
            *out++ = '.';
        }
    }
    return out;
}

void FlowTuple::appendText(std::string& out) const {
    char text[kMostTextLength];
    out.append(text, writeText(text));
}

char* FlowTuple::writeText(char* out) const {
    switch (protocol) {
        case net::ip::kProtocolTcp:
            out = writeLiteral(out, "TCP ");
            break;
        case net::ip::kProtocolUdp:
            out = writeLiteral(out, "UDP ");
            break;
        default:
            out = writeLiteral(out, "Unknown/");
            out = writeNumber(out, protocol);
            *out++ = ' ';
            break;
    }
    out = writeEndpoint(out, false);
    out = writeLiteral(out, " -> ");
    return writeEndpoint(out, true);
}

char* FlowTuple::writeEndpoint(char* out, bool destination) const {
    out = writeAddress(out, destination ? destinationAddress : sourceAddress);
    if (hasPorts()) {
        *out++ = ':';
        out = writeNumber(out, ntohs(destination ? destinationPort : sourcePort));
    }
    return out;
}

std::string FlowTuple::toString() const {
    std::string text;
    appendText(text);
    return text;
}

}  // namespace korvo::measurement
