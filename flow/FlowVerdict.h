#pragma once
// What one TCP flow was found to hold, filled once by the flow judge before the flow reaches any receiver,
// which only reads it: the anomalies of each kind per direction, with their detail rows and capture times
// where the run asks for them, and the flow's retransmissions, handshake and connection where they are
// looked for.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "figure/DetailText.h"
#include "flow/FlowConnection.h"
#include "flow/FlowRetransmissions.h"

namespace korvo::measurement {

struct FlowVerdict {
    // Each kind has a packet-level figure (the anomalous segments) and a flow-level one (the flows with any).
    enum class Anomaly : std::uint8_t { kGaps, kOutOfOrder, kRepeats };
    static constexpr std::size_t kAnomalyKinds = 3;

    // Per kind, the forward direction's count and the reverse direction's; zero for a flow with fewer than
    // two segments in each direction, which cannot hold any.
    std::array<std::array<std::uint64_t, 2>, kAnomalyKinds> anomalies{};
    // Per kind, the packet-level figure's rows, the forward direction's first; empty unless rows are asked.
    std::array<DetailText, kAnomalyKinds> rows;
    // Per kind, the capture time (microseconds since 1970) of each anomaly; empty unless times are asked.
    std::array<std::vector<std::int64_t>, kAnomalyKinds> times;
    // Found only where retransmissions are looked for.
    std::optional<FlowRetransmissions> retransmissions;
    // A row per retransmission, the forward direction's first; empty unless rows are asked.
    DetailText retransmissionRows;
    // The capture time of each retransmission; empty unless times are asked.
    std::vector<std::int64_t> retransmissionTimes;
    // Found only where connections are followed.
    std::optional<FlowConnection> connection;

    // Both directions' count of one kind.
    [[nodiscard]] std::uint64_t count(Anomaly kind) const {
        const std::array<std::uint64_t, 2>& counts = anomalies[static_cast<std::size_t>(kind)];
        return counts[0] + counts[1];
    }
    [[nodiscard]] const DetailText& rowsOf(Anomaly kind) const {
        return rows[static_cast<std::size_t>(kind)];
    }
    [[nodiscard]] const std::vector<std::int64_t>& timesOf(Anomaly kind) const {
        return times[static_cast<std::size_t>(kind)];
    }
    // Empties it for the next flow, keeping what it has allocated.
    void clear();
};

}  // namespace korvo::measurement
