#pragma once
// What the sequence figures must know of a flow's segments beyond their own fields, found once per flow for
// all of them: where each direction begins a new connection on the same addresses and ports, and which of
// its segments are keep-alives or zero-window probes. Both take the other direction into account, walked in
// capture order beside it. Places are those of each direction's capture order, ascending.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "flow/SegmentRecord.h"

namespace korvo::measurement {

class SegmentMarks {
public:
    // Forgets the previous flow's marks.
    void clear();

    // Finds the first segment of every connection but the first, as ConnectionStarts tells them. Each
    // direction's records are in capture order. Call after clear().
    void findConnections(std::span<const SegmentRecord> forward, std::span<const SegmentRecord> reverse);

    // Finds the keep-alives and zero-window probes, as KeepAlivesAndProbes tells them. `positions` are each
    // direction's unwrapped sequence positions, by place in capture order. Call after clear() and
    // findConnections for the same flow.
    void findKeepAlivesAndProbes(std::span<const SegmentRecord> forward,
                                 std::span<const std::int64_t> forwardPositions,
                                 std::span<const SegmentRecord> reverse,
                                 std::span<const std::int64_t> reversePositions);

    [[nodiscard]] std::span<const std::uint32_t> connectionStarts(bool reverse) const {
        return connectionStarts_[reverse ? 1 : 0];
    }
    [[nodiscard]] std::span<const std::uint32_t> keepAlivesAndProbes(bool reverse) const {
        return keepAlivesAndProbes_[reverse ? 1 : 0];
    }

private:
    std::array<std::vector<std::uint32_t>, 2> connectionStarts_;
    std::array<std::vector<std::uint32_t>, 2> keepAlivesAndProbes_;
};

}  // namespace korvo::measurement
