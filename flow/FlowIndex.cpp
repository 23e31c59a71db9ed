#include "flow/FlowIndex.h"

#include <algorithm>

namespace korvo::measurement {

namespace {

constexpr std::size_t kInitialSlots = 1024;

std::uint64_t mix(std::uint64_t value) {
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ULL;
    value ^= value >> 33;
    return value;
}

}  // namespace

FlowIndex::FlowIndex() : slots_(kInitialSlots, 0) {}

std::uint64_t FlowIndex::mixedHash(const FlowTuple& tuple) {
    // Both directions must land on the same slot: order the two endpoints before mixing them.
    const std::uint64_t source = (std::uint64_t{tuple.sourceAddress} << 16) | tuple.sourcePort;
    const std::uint64_t destination = (std::uint64_t{tuple.destinationAddress} << 16) | tuple.destinationPort;
    const std::uint64_t low = std::min(source, destination);
    const std::uint64_t high = std::max(source, destination);
    return mix((low ^ (std::uint64_t{tuple.protocol} << 56)) * 0x9e3779b97f4a7c15ULL + high);
}

FlowIndex::Lookup FlowIndex::findOrAdd(const FlowTuple& tuple, const ChunkedStore<FlowState>& flows,
                                       std::uint32_t nextFlow) {
    // Packets come in bursts of one flow: try the flow found last before hashing.
    if (lastFlow_ < flows.size()) {
        const FlowTuple& last = flows[lastFlow_].tuple;
        if (tuple == last || tuple == last.reversed()) {
            return {lastFlow_, false};
        }
    }
    // Grow while every entry's flow is in `flows`, so that the table stays at most half full.
    if ((used_ + 1) * 2 > slots_.size()) {
        grow(flows);
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = mixedHash(tuple) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t entry = slots_[slot];
        if (entry == 0) {
            slots_[slot] = nextFlow + 1;
            ++used_;
            lastFlow_ = nextFlow;
            return {nextFlow, true};
        }
        const FlowTuple& known = flows[entry - 1].tuple;
        if (tuple == known || tuple == known.reversed()) {
            lastFlow_ = entry - 1;
            return {lastFlow_, false};
        }
    }
}

void FlowIndex::grow(const ChunkedStore<FlowState>& flows) {
    std::vector<std::uint32_t> previous(slots_.size() * 2, 0);
    previous.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const std::uint32_t entry : previous) {
        if (entry == 0) {
            continue;
        }
        std::size_t slot = mixedHash(flows[entry - 1].tuple) & mask;
        while (slots_[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        slots_[slot] = entry;
    }
}

}  // namespace korvo::measurement
