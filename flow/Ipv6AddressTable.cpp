#include "flow/Ipv6AddressTable.h"

#include <cstring>
#include <stdexcept>

namespace korvo::measurement {

namespace {

constexpr std::size_t kSmallestIndex = 64;

struct Halves {
    std::uint64_t high;
    std::uint64_t low;
    explicit Halves(const Ipv6FlowTuple::Address& address) {
        std::memcpy(&high, address.data(), sizeof high);
        std::memcpy(&low, address.data() + sizeof high, sizeof low);
    }
    friend bool operator==(const Halves&, const Halves&) = default;
};

std::uint64_t hashOf(const Halves& halves) {
    std::uint64_t hash = halves.high * 0x9E3779B97F4A7C15ULL ^ halves.low * 0xC2B2AE3D27D4EB4FULL;
    hash ^= hash >> 31;
    hash *= 0xFF51AFD7ED558CCDULL;
    return hash ^ (hash >> 33);
}

}  // namespace

std::uint32_t Ipv6AddressTable::number(const Ipv6FlowTuple::Address& address) {
    if (2 * (addresses_.size() + 1) > slots_.size()) {
        grow();
    }
    const Halves halves(address);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hashOf(halves) & mask;; at = (at + 1) & mask) {
        const std::uint32_t known = slots_[at];
        if (known == kEmpty) {
            if (addresses_.size() == kEmpty) {
                throw std::length_error("The capture holds more IPv6 addresses than one run can analyse");
            }
            slots_[at] = static_cast<std::uint32_t>(addresses_.size());
            addresses_.push_back(address);
            return slots_[at];
        }
        if (Halves(addresses_[known]) == halves) {
            return known;
        }
    }
}

void Ipv6AddressTable::grow() {
    slots_.assign(std::max(kSmallestIndex, 2 * slots_.size()), kEmpty);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint32_t known = 0; known < addresses_.size(); ++known) {
        std::size_t at = hashOf(Halves(addresses_[known])) & mask;
        while (slots_[at] != kEmpty) {
            at = (at + 1) & mask;
        }
        slots_[at] = known;
    }
}

}  // namespace korvo::measurement
