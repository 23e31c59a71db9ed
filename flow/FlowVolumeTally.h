#pragma once
// The wire bytes of every TCP flow, per direction. The flow table keeps only sequence lengths, so a run
// that reports each flow's volume has the flow table note each kept segment's frame length here; a run that
// does not pays nothing. An IPv4 segment's length waits, 4 bytes, beside the segments of its shard until
// they are sorted, and is then added to its flow in one of the shard's tables, filled by the thread that
// hands the shard out: a flow costs one slot of 20 bytes in an open-addressing table kept between 50% and
// 75% full, so 27 to 40 bytes. An IPv6 flow costs an entry of a hash map, about 100 bytes.

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture/FlowTuple.h"
#include "capture/Ipv6FlowTuple.h"
#include "flow/ChunkedStore.h"
#include "flow/ShardRule.h"
#include "flow/ShardSegment.h"

namespace korvo::measurement {

class FlowVolumeTally {
public:
    // Notes the frame length of the IPv4 segment just kept in shard `shard`.
    void noteLength(std::size_t shard, std::uint32_t wireLength) { lengths_[shard].push_back(wireLength); }
    // Adds the frame of a kept IPv6 segment.
    void add(const Ipv6FlowTuple& tuple, std::uint32_t wireLength);
    // Adds the lengths noted for shard `shard` to their flows. `kept` holds the segments the shard kept
    // since it was last settled, in capture order, one for each length noted: call before those segments
    // are sorted, and before asking for the volumes of the shard's flows. A shard with no length noted
    // (its volumes read from files) is left as it is.
    void settle(std::size_t shard, const ChunkedStore<ShardSegment>& kept);

    struct Volume {
        std::uint64_t forward = 0;
        std::uint64_t reverse = 0;
    };
    // The wire bytes of the flow of `tuple` (a TCP tuple), forward being the direction of `tuple`, once its
    // shard is settled. Safe to call from several threads at once, for flows of shards that no thread is
    // settling.
    [[nodiscard]] Volume volumeOf(const FlowTuple& tuple) const;
    [[nodiscard]] Volume volumeOf(const Ipv6FlowTuple& tuple) const;
    // Starts fetching from memory what volumeOf(`tuple`) will read, so that a caller that knows its next
    // flows early does not wait for each. Same conditions as volumeOf().
    void prefetch(const FlowTuple& tuple) const;

    // For a run split into steps: writes the volumes of the flows of shard `shard` (of both families, the
    // shard settled) to `path`, and adds those of such a file to the flows of that shard. Failures are
    // thrown.
    void writeShard(std::size_t shard, const std::string& path) const;
    void readShard(std::size_t shard, const std::string& path);

private:
    // Both endpoints, the lower (by address, then port) first: the same for both directions.
    struct Key {
        std::uint32_t lowerAddress = 0;
        std::uint32_t upperAddress = 0;
        std::uint16_t lowerPort = 0;
        std::uint16_t upperPort = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    // Both directions' bytes, lower to upper first, in 32 bits each; what a flow sends beyond 4 GiB in one
    // direction is carried into its table's `beyond`. A slot is 20 bytes.
    struct Slot {
        Key key;
        std::array<std::uint32_t, 2> bytes{};
    };
    static_assert(sizeof(Slot) == 20);

    struct KeyHash {
        std::size_t operator()(const Key& key) const { return hashOf(key); }
    };
    // One table per shard of the flow table, filled by the thread that hands the shard out; a table's bytes
    // past 4 GiB are its own.
    struct Table {
        std::vector<Slot> slots;
        std::size_t used = 0;
        // The bytes beyond the first 4 GiB per direction, of the flows that sent that much.
        std::unordered_map<Key, Volume, KeyHash> beyond;
    };

    // The key of `tuple` and the direction (0: lower to upper) that `tuple` travels in.
    static Key keyOf(const FlowTuple& tuple, std::size_t& direction);
    static std::uint64_t hashOf(const Key& key);
    // Where the walk for `hash` starts in a table of `capacity` slots, and the slot after `at`.
    static std::size_t home(std::uint64_t hash, std::size_t capacity);
    static std::size_t next(std::size_t at, std::size_t capacity);
    // The slot of `key`, taken when it has none yet; the table must have an empty slot.
    static Slot& find(Table& table, const Key& key, std::uint64_t hash);
    // Adds `length` bytes in `direction` to `slot` of `table`.
    static void add(Table& table, Slot& slot, std::size_t direction, std::uint64_t length);
    // Both directions' bytes of `slot` of `table`, lower to upper first.
    [[nodiscard]] static Volume totals(const Table& table, const Slot& slot);
    // The slot of `key` in `table`; none when the key was never added.
    [[nodiscard]] static const Slot* locate(const Table& table, const Key& key);
    // Makes room for `adding` more flows.
    static void grow(Table& table, std::size_t adding);
    // The table of the flow of `tuple`, and of the flow of `key`.
    static std::size_t tableOf(const FlowTuple& tuple);
    static std::size_t tableOf(const Key& key);

    std::array<Table, ShardRule::kShards> tables_;
    // The lengths noted per shard and not yet settled.
    std::array<ChunkedStore<std::uint32_t>, ShardRule::kShards> lengths_;
    // An IPv6 flow's endpoints, the lower first, and its bytes from the lower to the upper and back.
    struct Ipv6Key {
        Ipv6FlowTuple tuple;
        friend bool operator==(const Ipv6Key&, const Ipv6Key&) = default;
    };
    struct Ipv6KeyHash {
        std::size_t operator()(const Ipv6Key& key) const;
    };
    // The key of `tuple` and whether `tuple` travels from the upper endpoint to the lower.
    static Ipv6Key ipv6KeyOf(const Ipv6FlowTuple& tuple, bool& reverse);
    std::unordered_map<Ipv6Key, Volume, Ipv6KeyHash> ipv6Flows_;

    // The all-zero key marks an empty slot, so the flow 0.0.0.0:0 <-> 0.0.0.0:0 (only a damaged capture
    // holds one) is kept here instead, its bytes beyond 4 GiB in its shard's table.
    Slot zeroFlow_;
};

}  // namespace korvo::measurement
