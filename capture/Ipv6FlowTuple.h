#pragma once
// The key of a TCP flow over IPv6: both addresses and both ports as they stand in one packet (network byte
// order). Like the IPv4 tuple, its hash is the same for both directions of a conversation, and equality is
// directional.

#include <array>
#include <cstdint>
#include <string>

#include "capture/PacketSignals.h"

namespace korvo::measurement {

struct Ipv6FlowTuple {
    using Address = std::array<std::uint8_t, 16>;

    Address sourceAddress{};
    Address destinationAddress{};
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;

    Ipv6FlowTuple() = default;
    // From a captured IPv6 packet whose fixed TCP header the caller has checked was captured.
    explicit Ipv6FlowTuple(const IPv6Packet& packet);

    // Direction-independent: the wrap-around sum of the protocol (6), of the addresses' 32-bit words and of
    // the ports, each read as a little-endian number of its wire bytes, taken as signed.
    [[nodiscard]] std::int32_t flowHash() const;
    [[nodiscard]] Ipv6FlowTuple reversed() const;
    // "TCP [2001:db8::1]:443 -> [2001:db8::2]:51000".
    void appendText(std::string& out) const;
    // The same text written at `out`, which has room for kMostTextLength characters; returns its end.
    char* writeText(char* out) const;
    // One end as the text writes it, "[2001:db8::1]:443", the source or the destination; room for
    // kMostTextLength.
    char* writeEndpoint(char* out, bool destination) const;
    // The address in its RFC 5952 text (lower case, the longest run of two or more zero groups, the first of
    // equals, written "::", an IPv4-mapped address as ::ffff:192.0.2.1) at `out`, which has room for
    // kMostAddressLength characters; returns its end.
    static char* writeAddress(char* out, const Address& address);

    static constexpr std::size_t kMostAddressLength = 39;
    static constexpr std::size_t kMostTextLength = 4 + 2 * (1 + kMostAddressLength + 2 + 5) + 4;

    friend bool operator==(const Ipv6FlowTuple&, const Ipv6FlowTuple&) = default;
};

}  // namespace korvo::measurement
