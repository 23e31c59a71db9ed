#include "flow/FlowVolumeTally.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "flow/FileBlocks.h"

namespace korvo::measurement {

namespace {

// A table grows when it is this full, to the size that makes it kFilledAfterGrowth full: most segments of
// a scan start a flow, whose slot is found only after the walk past every slot taken in a row.
constexpr std::size_t kMostFilledPercent = 75;
constexpr std::size_t kFilledAfterGrowthPercent = 50;
constexpr std::size_t kSmallestTable = 8;

// A flow's bytes as a split run's steps hand them on: both endpoints, then lower to upper and back in
// 32-bit halves, 28 bytes.
struct FileVolume {
    std::array<std::uint32_t, 3> key;
    std::array<std::uint32_t, 4> bytes;
};
static_assert(sizeof(FileVolume) == 28);

}  // namespace

FlowVolumeTally::Key FlowVolumeTally::keyOf(const FlowTuple& tuple, std::size_t& direction) {
    const std::uint64_t source = (std::uint64_t{tuple.sourceAddress} << 16) | tuple.sourcePort;
    const std::uint64_t destination = (std::uint64_t{tuple.destinationAddress} << 16) | tuple.destinationPort;
    // Both ends the same: every segment travels lower to upper, as the flow table files them all forward.
    direction = source <= destination ? 0 : 1;
    if (direction == 0) {
        return {tuple.sourceAddress, tuple.destinationAddress, tuple.sourcePort, tuple.destinationPort};
    }
    return {tuple.destinationAddress, tuple.sourceAddress, tuple.destinationPort, tuple.sourcePort};
}

std::uint64_t FlowVolumeTally::hashOf(const Key& key) {
    // The flow hash is a plain sum, which puts the flows of a scan of neighbouring addresses and ports on
    // few values; this mixes every bit of the key instead.
    std::uint64_t hash = ((std::uint64_t{key.lowerAddress} << 32) | key.upperAddress) * 0x9E3779B97F4A7C15ULL;
    hash ^= ((std::uint64_t{key.lowerPort} << 16) | key.upperPort) * 0xC2B2AE3D27D4EB4FULL;
    hash ^= hash >> 31;
    hash *= 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 33;
    return hash;
}

std::size_t FlowVolumeTally::next(std::size_t at, std::size_t capacity) {
    return at + 1 == capacity ? 0 : at + 1;
}

std::size_t FlowVolumeTally::home(std::uint64_t hash, std::size_t capacity) {
    // The low 32 bits scaled to the capacity, which need not be a power of two.
    return static_cast<std::size_t>(((hash & 0xFFFFFFFFULL) * capacity) >> 32);
}

FlowVolumeTally::Slot& FlowVolumeTally::find(Table& table, const Key& key, std::uint64_t hash) {
    const std::size_t capacity = table.slots.size();
    for (std::size_t at = home(hash, capacity);; at = next(at, capacity)) {
        Slot& slot = table.slots[at];
        if (slot.key == key) {
            return slot;
        }
        if (slot.key == Key{}) {
            slot.key = key;
            ++table.used;
            return slot;
        }
    }
}

void FlowVolumeTally::add(Table& table, Slot& slot, std::size_t direction, std::uint64_t length) {
    const std::uint64_t sum = slot.bytes[direction] + length;
    slot.bytes[direction] = static_cast<std::uint32_t>(sum);
    if (sum > std::numeric_limits<std::uint32_t>::max()) {
        Volume& beyond = table.beyond[slot.key];
        (direction == 0 ? beyond.forward : beyond.reverse) += sum - slot.bytes[direction];
    }
}

FlowVolumeTally::Volume FlowVolumeTally::totals(const Table& table, const Slot& slot) {
    Volume volume{slot.bytes[0], slot.bytes[1]};
    if (!table.beyond.empty()) {
        const auto found = table.beyond.find(slot.key);
        if (found != table.beyond.end()) {
            volume.forward += found->second.forward;
            volume.reverse += found->second.reverse;
        }
    }
    return volume;
}

void FlowVolumeTally::grow(Table& table, std::size_t adding) {
    const std::size_t capacity =
        std::max(kSmallestTable, (table.used + adding) * 100 / kFilledAfterGrowthPercent);
    std::vector<Slot> old(capacity);
    old.swap(table.slots);
    table.used = 0;
    for (const Slot& slot : old) {
        if (!(slot.key == Key{})) {
            find(table, slot.key, hashOf(slot.key)) = slot;
        }
    }
}

std::size_t FlowVolumeTally::tableOf(const FlowTuple& tuple) {
    return ShardRule::shardOf(ShardRule::orderKey(tuple));
}

std::size_t FlowVolumeTally::tableOf(const Key& key) {
    ShardSegment segment{};
    segment.ends = {key.lowerAddress, key.upperAddress, key.lowerPort, key.upperPort};
    return ShardRule::shardOf(segment.orderKey());
}

void FlowVolumeTally::settle(std::size_t shard, const ChunkedStore<ShardSegment>& kept) {
    ChunkedStore<std::uint32_t>& lengths = lengths_[shard];
    if (lengths.empty()) {
        return;
    }
    if (lengths.size() != kept.size()) {
        throw std::logic_error("The flow table kept another number of segments than of frame lengths");
    }
    Table& table = tables_[shard];
    for (std::size_t index = 0; index < kept.size(); ++index) {
        const ShardSegment& segment = kept[index];
        // Grown as flows are found: a flow may have millions of segments.
        if ((table.used + 1) * 100 > table.slots.size() * kMostFilledPercent) {
            grow(table, 1);
        }
        std::size_t direction = 0;
        const Key key = keyOf(segment.tuple(), direction);
        Slot& slot = key == Key{} ? zeroFlow_ : find(table, key, hashOf(key));
        add(table, slot, direction, lengths[index]);
    }
    lengths.release();
}

FlowVolumeTally::Volume FlowVolumeTally::volumeOf(const FlowTuple& tuple) const {
    std::size_t direction = 0;
    const Key key = keyOf(tuple, direction);
    const Table& table = tables_[tableOf(tuple)];
    const Slot* slot = key == Key{} ? &zeroFlow_ : locate(table, key);
    if (slot == nullptr) {
        return {};
    }
    const Volume volume = totals(table, *slot);
    return direction == 0 ? volume : Volume{volume.reverse, volume.forward};
}

void FlowVolumeTally::prefetch(const FlowTuple& tuple) const {
    std::size_t direction = 0;
    const Key key = keyOf(tuple, direction);
    const std::vector<Slot>& slots = tables_[tableOf(tuple)].slots;
    if (!slots.empty()) {
        __builtin_prefetch(&slots[home(hashOf(key), slots.size())]);
    }
}

FlowVolumeTally::Ipv6Key FlowVolumeTally::ipv6KeyOf(const Ipv6FlowTuple& tuple, bool& reverse) {
    reverse = std::tie(tuple.destinationAddress, tuple.destinationPort) <
              std::tie(tuple.sourceAddress, tuple.sourcePort);
    return {reverse ? tuple.reversed() : tuple};
}

std::size_t FlowVolumeTally::Ipv6KeyHash::operator()(const Ipv6Key& key) const {
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    const auto mix = [&hash](std::uint64_t value) {
        hash = (hash ^ value) * 0x100000001B3ULL;
        hash ^= hash >> 29;
    };
    for (const Ipv6FlowTuple::Address* address : {&key.tuple.sourceAddress, &key.tuple.destinationAddress}) {
        std::uint64_t halves[2];
        std::memcpy(halves, address->data(), sizeof halves);
        mix(halves[0]);
        mix(halves[1]);
    }
    mix((std::uint64_t{key.tuple.sourcePort} << 16) | key.tuple.destinationPort);
    return static_cast<std::size_t>(hash);
}

void FlowVolumeTally::add(const Ipv6FlowTuple& tuple, std::uint32_t wireLength) {
    bool reverse = false;
    Volume& volume = ipv6Flows_[ipv6KeyOf(tuple, reverse)];
    (reverse ? volume.reverse : volume.forward) += wireLength;
}

FlowVolumeTally::Volume FlowVolumeTally::volumeOf(const Ipv6FlowTuple& tuple) const {
    bool reverse = false;
    const auto found = ipv6Flows_.find(ipv6KeyOf(tuple, reverse));
    if (found == ipv6Flows_.end()) {
        return {};
    }
    return reverse ? Volume{found->second.reverse, found->second.forward} : found->second;
}

const FlowVolumeTally::Slot* FlowVolumeTally::locate(const Table& table, const Key& key) {
    const std::uint64_t hash = hashOf(key);
    const std::vector<Slot>& slots = table.slots;
    // A table is never full, so every walk meets an empty slot.
    for (std::size_t at = home(hash, slots.size()); at < slots.size(); at = next(at, slots.size())) {
        if (slots[at].key == key) {
            return &slots[at];
        }
        if (slots[at].key == Key{}) {
            return nullptr;
        }
    }
    return nullptr;
}

void FlowVolumeTally::writeShard(std::size_t shard, const std::string& path) const {
    static_assert(sizeof(Key) == sizeof(FileVolume::key));
    std::vector<FileVolume> slots;
    const Table& table = tables_[shard];
    const auto put = [&](const Slot& slot) {
        FileVolume entry{};
        std::memcpy(entry.key.data(), &slot.key, sizeof slot.key);
        const Volume volume = totals(table, slot);
        entry.bytes = {
            static_cast<std::uint32_t>(volume.forward), static_cast<std::uint32_t>(volume.forward >> 32),
            static_cast<std::uint32_t>(volume.reverse), static_cast<std::uint32_t>(volume.reverse >> 32)};
        slots.push_back(entry);
    };
    for (const Slot& slot : table.slots) {
        if (!(slot.key == Key{})) {
            put(slot);
        }
    }
    if (tableOf(FlowTuple()) == shard &&
        (zeroFlow_.bytes != std::array<std::uint32_t, 2>{} || table.beyond.contains(Key{}))) {
        put(zeroFlow_);
    }
    std::vector<std::pair<Ipv6Key, Volume>> ipv6;
    for (const auto& [key, volume] : ipv6Flows_) {
        if (ShardRule::shardOf(ShardRule::orderKey(key.tuple)) == shard) {
            ipv6.emplace_back(key, volume);
        }
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    const std::uint64_t counts[2] = {slots.size(), ipv6.size()};
    if (!file || std::fwrite(counts, sizeof counts, 1, file.get()) != 1 ||
        !writeBlock(file.get(), std::span<const FileVolume>(slots)) ||
        !writeBlock(file.get(), std::span<const std::pair<Ipv6Key, Volume>>(ipv6)) ||
        std::fflush(file.get()) != 0) {
        throw std::runtime_error("Cannot write " + path + ": " + std::strerror(errno));
    }
}

void FlowVolumeTally::readShard(std::size_t shard, const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    std::uint64_t counts[2] = {0, 0};
    if (!file || std::fread(counts, sizeof counts, 1, file.get()) != 1) {
        throw std::runtime_error("Cannot read " + path);
    }
    for (std::uint64_t index = 0; index < counts[0]; ++index) {
        FileVolume entry{};
        if (std::fread(&entry, sizeof entry, 1, file.get()) != 1) {
            throw std::runtime_error(path + " is damaged: it ends inside a flow");
        }
        Key key;
        std::memcpy(static_cast<void*>(&key), entry.key.data(), sizeof key);
        if ((key == Key{} ? tableOf(FlowTuple()) : tableOf(key)) != shard) {
            throw std::runtime_error(path + " is damaged: it holds a flow of another shard");
        }
        Table& table = tables_[shard];
        Slot* into = &zeroFlow_;
        if (!(key == Key{})) {
            if ((table.used + 1) * 100 > table.slots.size() * kMostFilledPercent) {
                grow(table, 1);
            }
            into = &find(table, key, hashOf(key));
        }
        add(table, *into, 0, (std::uint64_t{entry.bytes[1]} << 32) | entry.bytes[0]);
        add(table, *into, 1, (std::uint64_t{entry.bytes[3]} << 32) | entry.bytes[2]);
    }
    for (std::uint64_t index = 0; index < counts[1]; ++index) {
        std::pair<Ipv6Key, Volume> entry;
        if (std::fread(&entry, sizeof entry, 1, file.get()) != 1) {
            throw std::runtime_error(path + " is damaged: it ends inside a flow");
        }
        Volume& volume = ipv6Flows_[entry.first];
        volume.forward += entry.second.forward;
        volume.reverse += entry.second.reverse;
    }
}

}  // namespace korvo::measurement
