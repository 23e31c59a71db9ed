#pragma once
// How flows are split into shards: by the top bits of the flow hash made unsigned, so that shards taken in
// order keep the hand-out order, which is by signed flow hash. The flow table's segments and the per-flow
// byte tally are sharded alike.

#include <cstddef>
#include <cstdint>

namespace korvo::measurement {

class ShardRule {
public:
    static constexpr unsigned kBits = 6;
    static constexpr std::size_t kShards = std::size_t{1} << kBits;

    // The flow hash (of an IPv4 or an IPv6 tuple) made unsigned so that it sorts as the signed hash does.
    template <typename Tuple>
    [[nodiscard]] static std::uint32_t orderKey(const Tuple& tuple) {
        return static_cast<std::uint32_t>(tuple.flowHash()) ^ 0x80000000U;
    }
    [[nodiscard]] static std::size_t shardOf(std::uint32_t orderKey) { return orderKey >> (32 - kBits); }
};

}  // namespace korvo::measurement
