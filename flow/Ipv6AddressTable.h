#pragma once
// Numbers the IPv6 addresses of the kept TCP segments, each distinct address once, so that a segment keeps
// two 4-byte numbers instead of two 16-byte addresses. An address costs its 16 bytes (up to 32 while the
// list has room to grow) and 2 to 4 slots of 4 bytes in an open-addressing index kept at most half full:
// 24 to 48 bytes. It stays in memory whatever the memory limit. Filled while the capture is read; read from
// several threads at once while the flows are handed out.

#include <cstdint>
#include <vector>

#include "capture/Ipv6FlowTuple.h"

namespace korvo::measurement {

class Ipv6AddressTable {
public:
    // The number of `address`, given it now if it has none.
    std::uint32_t number(const Ipv6FlowTuple::Address& address);
    [[nodiscard]] const Ipv6FlowTuple::Address& address(std::uint32_t number) const {
        return addresses_[number];
    }
    // The addresses numbered so far, by number.
    [[nodiscard]] const std::vector<Ipv6FlowTuple::Address>& addresses() const { return addresses_; }

private:
    static constexpr std::uint32_t kEmpty = ~std::uint32_t{0};

    void grow();

    std::vector<Ipv6FlowTuple::Address> addresses_;
    // Each slot holds an address's number, or kEmpty.
    std::vector<std::uint32_t> slots_;
};

}  // namespace korvo::measurement
