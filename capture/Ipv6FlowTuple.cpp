#include "capture/Ipv6FlowTuple.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "net/IpHeader.h"
#include "net/WireOrder.h"

namespace korvo::measurement {

namespace {

constexpr std::size_t kGroups = 8;

char* writePort(char* out, std::uint16_t port) {
    *out++ = ':';
    return std::to_chars(out, out + 5, ntohs(port)).ptr;
}

bool isIpv4Mapped(const Ipv6FlowTuple::Address& address) {
    return std::all_of(address.begin(), address.begin() + 10, [](std::uint8_t byte) { return byte == 0; }) &&
           address[10] == 0xFF && address[11] == 0xFF;
}

}  // namespace

Ipv6FlowTuple::Ipv6FlowTuple(const IPv6Packet& packet)
    : sourceAddress(packet.header->sourceAddress), destinationAddress(packet.header->destinationAddress) {
    const auto* transport = reinterpret_cast<const unsigned char*>(packet.header) + packet.transportOffset;
    std::memcpy(&sourcePort, transport, sizeof sourcePort);
    std::memcpy(&destinationPort, transport + sizeof sourcePort, sizeof destinationPort);
}

std::int32_t Ipv6FlowTuple::flowHash() const {
    std::uint32_t sum = net::ip::kProtocolTcp;
    for (std::size_t word = 0; word < sourceAddress.size(); word += 4) {
        sum += net::littleEndianWord(sourceAddress.data() + word);
        sum += net::littleEndianWord(destinationAddress.data() + word);
    }
    sum += net::littleEndianValue(sourcePort);
    sum += net::littleEndianValue(destinationPort);
    return static_cast<std::int32_t>(sum);
}

Ipv6FlowTuple Ipv6FlowTuple::reversed() const {
    Ipv6FlowTuple reverse = *this;
    std::swap(reverse.sourceAddress, reverse.destinationAddress);
    std::swap(reverse.sourcePort, reverse.destinationPort);
    return reverse;
}

char* Ipv6FlowTuple::writeAddress(char* out, const Address& address) {
    if (isIpv4Mapped(address)) {
        out = std::copy_n("::ffff:", 7, out);
        for (std::size_t byte = 12; byte < 16; ++byte) {
            out = std::to_chars(out, out + 3, address[byte]).ptr;
            if (byte != 15) {
                *out++ = '.';
            }
        }
        return out;
    }
    std::array<unsigned, kGroups> groups{};
    for (std::size_t group = 0; group < kGroups; ++group) {
        groups[group] = unsigned{address[2 * group]} << 8 | address[2 * group + 1];
    }
    // The longest run of zero groups, the first of equal ones; a single zero group stays written.
    std::size_t runStart = kGroups;
    std::size_t runLength = 1;
    for (std::size_t group = 0; group < kGroups;) {
        std::size_t end = group;
        while (end < kGroups && groups[end] == 0) {
            ++end;
        }
        if (end - group > runLength) {
            runStart = group;
            runLength = end - group;
        }
        group = std::max(end, group + 1);
    }
    for (std::size_t group = 0; group < kGroups; ++group) {
        if (group == runStart) {
            out = std::copy_n("::", 2, out);
            group += runLength - 1;
            continue;
        }
        if (group != 0 && group != runStart + runLength) {
            *out++ = ':';
        }
        out = std::to_chars(out, out + 4, groups[group], 16).ptr;
    }
    return out;
}

char* Ipv6FlowTuple::writeText(char* out) const {
    out = std::copy_n("TCP ", 4, out);
    out = writeEndpoint(out, false);
    out = std::copy_n(" -> ", 4, out);
    return writeEndpoint(out, true);
}

char* Ipv6FlowTuple::writeEndpoint(char* out, bool destination) const {
    *out++ = '[';
    out = writeAddress(out, destination ? destinationAddress : sourceAddress);
    *out++ = ']';
    return writePort(out, destination ? destinationPort : sourcePort);
}

void Ipv6FlowTuple::appendText(std::string& out) const {
    char text[kMostTextLength];
    out.append(text, writeText(text));
}

}  // namespace korvo::measurement
