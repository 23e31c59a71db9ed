#pragma once
// Finds a packet's flow among the flows filed so far: an open-addressing hash table of flow numbers keyed by
// a well-mixed hash of both endpoints, so that lookups stay O(1) however many flows share a flow hash. Each
// slot keeps 32 bits of the hash, so probing and growing never touch the flows themselves, and a small
// table of recently found flows answers the packets of active conversations from the processor's cache.

#include <array>
#include <cstdint>
#include <vector>

#include "capture/FlowTuple.h"
#include "flow/ChunkedStore.h"
#include "flow/FlowState.h"
#include "flow/HugePageAllocator.h"

namespace korvo::measurement {

class FlowIndex {
public:
    struct Lookup {
        std::uint32_t flow;
        bool created;
    };

    FlowIndex();

    // The same for a tuple and its reversal.
    [[nodiscard]] static std::uint32_t hashOf(const FlowTuple& tuple);
    // Asks for the slot where a lookup of `hash` starts, ahead of the lookup.
    void prefetch(std::uint32_t hash) const { __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]); }
    // The number of the flow that `tuple` (whose hashOf is `hash`) or its reversal belongs to. When there is
    // none, `nextFlow` is entered for it and returned with `created` set; the caller then appends that flow
    // to `flows`.
    Lookup findOrAdd(const FlowTuple& tuple, std::uint32_t hash, const ChunkedStore<FlowState>& flows,
                     std::uint32_t nextFlow);

private:
    struct Slot {
        std::uint32_t hash;
        // Flow number plus one; zero marks a free slot.
        std::uint32_t flowPlusOne;
    };
    static constexpr std::size_t kRecentFlows = 4096;

    [[nodiscard]] static bool belongsTo(const FlowTuple& tuple, const FlowState& flow) {
        return tuple == flow.tuple || tuple == flow.tuple.reversed();
    }
    void grow();

    HugePageVector<Slot> slots_;
    std::size_t used_ = 0;
    // The flow last found under each value of the hash's low bits. Its hash is kept too, so that a
    // new flow does not have to read some unrelated flow from memory to learn that it is not that one.
    std::array<Slot, kRecentFlows> recent_{};
};

}  // namespace korvo::measurement
