#pragma once
// The wire bytes of every TCP flow, per direction, added up while the capture is read. The flow table keeps
// only IP payload lengths, so a run that reports each flow's volume connects this beside it; a run that
// does not pays nothing. A flow costs one slot of 28 bytes in an open-addressing table kept between 65%
// and 85% full, so 33 to 43 bytes.

#include <array>
#include <cstdint>
#include <vector>

#include "capture/FlowTuple.h"
#include "capture/PacketSignals.h"

namespace korvo::measurement {

class FlowVolumeTally : public IPPacketHandler {
public:
    explicit FlowVolumeTally(IPPacketSource& ipSource) : IPPacketHandler(ipSource.signal) {}

    // Adds the frame of a TCP segment that the flow table keeps; ignores every other packet.
    void handlePacket(const IPPacket& packet) override;

    struct Volume {
        std::uint64_t forward = 0;
        std::uint64_t reverse = 0;
    };
    // The wire bytes of the flow of `tuple` (a TCP tuple), forward being the direction of `tuple`. Safe
    // to call from several threads at once once the capture has been read.
    [[nodiscard]] Volume volumeOf(const FlowTuple& tuple) const;

private:
    // Both endpoints, the lower (by address, then port) first: the same for both directions.
    struct Key {
        std::uint32_t lowerAddress = 0;
        std::uint32_t upperAddress = 0;
        std::uint16_t lowerPort = 0;
        std::uint16_t upperPort = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    // Counters in 32-bit halves keep a slot 4-byte aligned and so 28 bytes long.
    struct Slot {
        Key key;
        // Lower to upper endpoint, then upper to lower.
        std::array<std::uint32_t, 4> bytes{};
        [[nodiscard]] std::uint64_t total(std::size_t direction) const {
            return (std::uint64_t{bytes[2 * direction + 1]} << 32) | bytes[2 * direction];
        }
        void add(std::size_t direction, std::uint64_t length) {
            const std::uint64_t sum = total(direction) + length;
            bytes[2 * direction] = static_cast<std::uint32_t>(sum);
            bytes[2 * direction + 1] = static_cast<std::uint32_t>(sum >> 32);
        }
    };
    static_assert(sizeof(Slot) == 28);

    // One of many small tables chosen by the top bits of the key's hash, so that growing one moves only
    // a small share of the flows and the memory briefly held twice stays small.
    struct Table {
        std::vector<Slot> slots;
        std::size_t used = 0;
    };
    static constexpr unsigned kTableBits = 8;

    // The key of `tuple` and the direction (0: lower to upper) that `tuple` travels in.
    static Key keyOf(const FlowTuple& tuple, std::size_t& direction);
    static std::uint64_t hashOf(const Key& key);
    // Where the walk for `hash` starts in a table of `capacity` slots, and the slot after `at`.
    static std::size_t home(std::uint64_t hash, std::size_t capacity);
    static std::size_t next(std::size_t at, std::size_t capacity);
    // The slot of `key`, taken when it has none yet; the table must have an empty slot.
    static Slot& find(Table& table, const Key& key, std::uint64_t hash);
    // The slot of `key`; none when the key was never added.
    [[nodiscard]] const Slot* locate(const Key& key) const;
    static void grow(Table& table);

    std::array<Table, std::size_t{1} << kTableBits> tables_;
    // The all-zero key marks an empty slot, so the flow 0.0.0.0:0 <-> 0.0.0.0:0 (only a damaged capture
    // holds one) is kept here instead.
    Slot zeroFlow_;
};

}  // namespace korvo::measurement
