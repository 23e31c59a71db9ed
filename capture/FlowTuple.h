#pragma once
// The key of a flow: both IPv4 addresses, the protocol and, for TCP and UDP, both ports, as they stand in one
// packet (network byte order). Its hash is the same for both directions of a conversation; equality is
// directional.

#include <cstdint>
#include <string>

#include "net/IpHeader.h"

namespace korvo::measurement {

struct FlowTuple {
    std::uint32_t sourceAddress = 0;
    std::uint32_t destinationAddress = 0;
    std::uint8_t protocol = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;

    FlowTuple() = default;
    // From a captured IPv4 header. For TCP and UDP the caller guarantees that the first four bytes of the
    // transport header, at the header length the IHL nibble gives, were captured.
    explicit FlowTuple(const net::ip* header);

    [[nodiscard]] bool hasPorts() const {
        return protocol == net::ip::kProtocolTcp || protocol == net::ip::kProtocolUdp;
    }
    // Direction-independent: the wrap-around sum of the protocol and of the addresses and ports each read
    // as a little-endian number of its wire bytes, taken as signed.
    [[nodiscard]] std::int32_t flowHash() const;
    [[nodiscard]] FlowTuple reversed() const;
    // "TCP 10.0.0.1:1234 -> 192.168.1.20:80"; other protocols read "Unknown/<number> 10.0.0.1 -> 10.0.0.2".
    [[nodiscard]] std::string toString() const;
    // Appends the same text, for detail rows written by the million.
    void appendText(std::string& out) const;
    // The same text written at `out`, which has room for kMostTextLength characters; returns its end.
    char* writeText(char* out) const;
    // One end as the text writes it, "10.0.0.1:1234", the source or the destination; room for
    // kMostTextLength.
    char* writeEndpoint(char* out, bool destination) const;
    // Writes the dotted quad of a network-order address at `out` (room for 15 characters); returns its end.
    static char* writeAddress(char* out, std::uint32_t address);
    // "Unknown/255 255.255.255.255 -> 255.255.255.255" or a TCP text with both ports of five digits.
    static constexpr std::size_t kMostTextLength = 52;

    friend bool operator==(const FlowTuple& left, const FlowTuple& right) {
        return left.sourceAddress == right.sourceAddress &&
               left.destinationAddress == right.destinationAddress && left.protocol == right.protocol &&
               (!left.hasPorts() ||
                (left.sourcePort == right.sourcePort && left.destinationPort == right.destinationPort));
    }
};

}  // namespace korvo::measurement
