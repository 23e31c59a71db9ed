#include "flow/FlowIndex.h"

#include <algorithm>

namespace korvo::measurement {

namespace {

constexpr std::size_t kInitialSlots = 1024;

}  // namespace

FlowIndex::FlowIndex() : slots_(kInitialSlots, Slot{0, 0}) {}

std::uint32_t FlowIndex::hashOf(const FlowTuple& tuple) {
    // Both directions must hash alike: order the two endpoints, then mix them.
    const std::uint64_t source = (std::uint64_t{tuple.sourceAddress} << 16) | tuple.sourcePort;
    const std::uint64_t destination = (std::uint64_t{tuple.destinationAddress} << 16) | tuple.destinationPort;
    std::uint64_t value =
        (std::min(source, destination) ^ (std::uint64_t{tuple.protocol} << 56)) * 0x9e3779b97f4a7c15ULL +
        std::max(source, destination);
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ULL;
    value ^= value >> 33;
    return static_cast<std::uint32_t>(value);
}

FlowIndex::Lookup FlowIndex::findOrAdd(const FlowTuple& tuple, std::uint32_t hash,
                                       const ChunkedStore<FlowState>& flows, std::uint32_t nextFlow) {
    Slot& recent = recent_[hash % kRecentFlows];
    if (recent.flowPlusOne != 0 && recent.hash == hash && belongsTo(tuple, flows[recent.flowPlusOne - 1])) {
        return {recent.flowPlusOne - 1, false};
    }
    if ((used_ + 1) * 2 > slots_.size()) {
        grow();
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t position = hash & mask;; position = (position + 1) & mask) {
        Slot& slot = slots_[position];
        if (slot.flowPlusOne == 0) {
            slot = Slot{hash, nextFlow + 1};
            ++used_;
            recent = slot;
            return {nextFlow, true};
        }
        if (slot.hash == hash && belongsTo(tuple, flows[slot.flowPlusOne - 1])) {
            recent = slot;
            return {slot.flowPlusOne - 1, false};
        }
    }
}

void FlowIndex::grow() {
    HugePageVector<Slot> previous(slots_.size() * 2, Slot{0, 0});
    previous.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : previous) {
        if (slot.flowPlusOne == 0) {
            continue;
        }
        std::size_t position = slot.hash & mask;
        while (slots_[position].flowPlusOne != 0) {
            position = (position + 1) & mask;
        }
        slots_[position] = slot;
    }
}

}  // namespace korvo::measurement
