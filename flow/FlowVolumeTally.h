#pragma once
// The wire bytes of every TCP flow, per direction, added up while the capture is read. The flow table keeps
// only sequence lengths, so a run that reports each flow's volume connects this beside it; a run that
// does not pays nothing. An IPv4 flow costs one slot of 20 bytes in an open-addressing table kept between
// 65% and 85% full, so 24 to 31 bytes; an IPv6 flow an entry of a hash map, about 100 bytes.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture/FlowTuple.h"
#include "capture/Ipv6FlowTuple.h"
#include "capture/PacketSignals.h"
#include "flow/ShardRule.h"

namespace korvo::measurement {

class FlowVolumeTally : public IPPacketHandler, public IPv6PacketHandler {
public:
    explicit FlowVolumeTally(IPPacketSource& ipSource)
        : IPPacketHandler(ipSource.signal), IPv6PacketHandler(ipSource.ipv6Signal) {}

    // Adds the frame of a TCP segment that the flow table keeps; ignores every other packet.
    void handlePacket(const IPPacket& packet) override;
    void handlePacket(const IPv6Packet& packet) override;
    // Adds the frames still on their way; call after the last packet, before asking for volumes.
    void finish();

    struct Volume {
        std::uint64_t forward = 0;
        std::uint64_t reverse = 0;
    };
    // The wire bytes of the flow of `tuple` (a TCP tuple), forward being the direction of `tuple`. Safe
    // to call from several threads at once after finish().
    [[nodiscard]] Volume volumeOf(const FlowTuple& tuple) const;
    [[nodiscard]] Volume volumeOf(const Ipv6FlowTuple& tuple) const;
    // Starts fetching from memory what volumeOf(`tuple`) will read, so that a caller that knows its next
    // flows early does not wait for each. Same conditions as volumeOf().
    void prefetch(const FlowTuple& tuple) const;

    // For a run split into steps: writes the volumes of the flows of shard `shard` (of both families) to
    // `path`, and adds those of such a file to the flows of that shard. Failures are thrown.
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
    // direction is carried into `beyond_`. A slot is 20 bytes.
    struct Slot {
        Key key;
        std::array<std::uint32_t, 2> bytes{};
    };
    static_assert(sizeof(Slot) == 20);

    // One table per range of flow hash, the ranges of the flow table's shards: growing a table moves only a
    // small share of the flows, so the memory briefly held twice stays small.
    struct Table {
        std::vector<Slot> slots;
        std::size_t used = 0;
    };

    // A frame waiting to be added to its table.
    struct Staged {
        Key key;
        std::uint32_t length;
        std::uint8_t direction;
    };
    // The frames of a capture come in an order unrelated to their flows' slots, which lie at random in
    // tables far larger than the caches. Frames wait per table and are added a table at a time, where the
    // slots they need can be fetched from memory many at once and the table's pages stay mapped.
    static constexpr std::size_t kStaged = 256;
    struct Stage {
        std::array<Staged, kStaged> frames;
        std::size_t count = 0;
    };

    // The key of `tuple` and the direction (0: lower to upper) that `tuple` travels in.
    static Key keyOf(const FlowTuple& tuple, std::size_t& direction);
    static std::uint64_t hashOf(const Key& key);
    // Where the walk for `hash` starts in a table of `capacity` slots, and the slot after `at`.
    static std::size_t home(std::uint64_t hash, std::size_t capacity);
    static std::size_t next(std::size_t at, std::size_t capacity);
    // The slot of `key`, taken when it has none yet; the table must have an empty slot.
    static Slot& find(Table& table, const Key& key, std::uint64_t hash);
    // Adds `length` bytes in `direction` to `slot`.
    void add(Slot& slot, std::size_t direction, std::uint64_t length);
    // Both directions' bytes of `slot`, lower to upper first.
    [[nodiscard]] Volume totals(const Slot& slot) const;
    // The slot of `key` in `table`; none when the key was never added.
    [[nodiscard]] static const Slot* locate(const Table& table, const Key& key);
    // Makes room for `adding` more flows.
    static void grow(Table& table, std::size_t adding);
    // The table of the flow of `tuple`.
    static std::size_t tableOf(const FlowTuple& tuple);
    // Adds the frames staged for table `table`.
    void addStaged(std::size_t table);

    std::array<Table, ShardRule::kShards> tables_;
    std::unique_ptr<std::array<Stage, ShardRule::kShards>> stages_ =
        std::make_unique<std::array<Stage, ShardRule::kShards>>();
    struct KeyHash {
        std::size_t operator()(const Key& key) const { return hashOf(key); }
    };
    // The bytes beyond the first 4 GiB per direction, of the flows that sent that much.
    std::unordered_map<Key, Volume, KeyHash> beyond_;
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
    // holds one) is kept here instead.
    Slot zeroFlow_;
};

}  // namespace korvo::measurement
