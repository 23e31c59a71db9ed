#pragma once
// Finds a packet's flow among the flows filed so far: an open-addressing hash table of flow numbers keyed by
// a well-mixed hash of both endpoints, so that lookups stay O(1) however many flows share a flow hash.

#include <cstdint>
#include <limits>
#include <vector>

#include "capture/FlowTuple.h"
#include "flow/ChunkedStore.h"
#include "flow/FlowState.h"

namespace korvo::measurement {

class FlowIndex {
public:
    struct Lookup {
        std::uint32_t flow;
        bool created;
    };

    FlowIndex();

    // The number of the flow that `tuple` or its reversal belongs to. When there is none, `nextFlow` is
    // entered for it and returned with `created` set; the caller then appends that flow to `flows`.
    Lookup findOrAdd(const FlowTuple& tuple, const ChunkedStore<FlowState>& flows, std::uint32_t nextFlow);

private:
    [[nodiscard]] static std::uint64_t mixedHash(const FlowTuple& tuple);
    void grow(const ChunkedStore<FlowState>& flows);

    // Flow number plus one; zero marks a free slot.
    std::vector<std::uint32_t> slots_;
    std::size_t used_ = 0;
    std::uint32_t lastFlow_ = std::numeric_limits<std::uint32_t>::max();
};

}  // namespace korvo::measurement
