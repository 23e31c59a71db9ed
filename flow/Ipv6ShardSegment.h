#pragma once
// A TCP segment over IPv6 as the flow table keeps it until the flows are handed out: the record and the
// addresses and ports of its packet, 64 bytes. Kept and sorted like the IPv4 segments, by the order key of
// its own flow hash, in shards of their own that are handed out after all IPv4 flows.

#include <compare>
#include <cstdint>
#include <cstring>

#include "capture/Ipv6FlowTuple.h"
#include "flow/SegmentRecord.h"
#include "flow/ShardRule.h"

namespace korvo::measurement {

struct Ipv6ShardSegment {
    using Tuple = Ipv6FlowTuple;

    SegmentRecord record;
    Ipv6FlowTuple::Address sourceAddress{};
    Ipv6FlowTuple::Address destinationAddress{};
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;

    [[nodiscard]] Ipv6FlowTuple tuple() const {
        Ipv6FlowTuple tuple;
        tuple.sourceAddress = sourceAddress;
        tuple.destinationAddress = destinationAddress;
        tuple.sourcePort = sourcePort;
        tuple.destinationPort = destinationPort;
        return tuple;
    }
    [[nodiscard]] bool travels(const Ipv6FlowTuple& tuple) const {
        return sourceAddress == tuple.sourceAddress && destinationAddress == tuple.destinationAddress &&
               sourcePort == tuple.sourcePort && destinationPort == tuple.destinationPort;
    }

    // Both endpoints, the lower first: the same for both directions of a conversation. An address is
    // compared as two machine words, which orders endpoints differently from their bytes but alike on every
    // run; only equality and a fixed order matter here.
    struct Endpoint {
        std::uint64_t addressHigh;
        std::uint64_t addressLow;
        std::uint16_t port;
        Endpoint(const Ipv6FlowTuple::Address& address, std::uint16_t port_) : port(port_) {
            std::memcpy(&addressHigh, address.data(), sizeof addressHigh);
            std::memcpy(&addressLow, address.data() + sizeof addressHigh, sizeof addressLow);
        }
        friend auto operator<=>(const Endpoint&, const Endpoint&) = default;
    };
    struct Endpoints {
        Endpoint lower;
        Endpoint upper;
        friend auto operator<=>(const Endpoints&, const Endpoints&) = default;
    };
    [[nodiscard]] Endpoints endpoints() const {
        const Endpoint source{sourceAddress, sourcePort};
        const Endpoint destination{destinationAddress, destinationPort};
        return source < destination ? Endpoints{source, destination} : Endpoints{destination, source};
    }

    [[nodiscard]] std::uint32_t orderKey() const { return ShardRule::orderKey(tuple()); }
};

static_assert(sizeof(Ipv6ShardSegment) == 64);

}  // namespace korvo::measurement
