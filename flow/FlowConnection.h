#pragma once
// How one TCP flow's connection went, as the capture shows it: the outcome of its last connection on the
// flow's addresses and ports, and per direction the data it carried, the resets it sent, the times it closed
// its window and the round trips of its data.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvo::measurement {

struct FlowConnection {
    // The outcome, in the codes analysts know from connection logs. The originator sent the connection's
    // first SYN without ACK; without one, it received the first SYN-ACK; without either, it is the flow's
    // first side.
    enum class State : std::uint8_t {
        kS0,      // SYN, never answered
        kS1,      // established, not closed
        kSF,      // established, both sides closed with a FIN
        kREJ,     // SYN answered by a RST
        kS2,      // established, closed by the originator only
        kS3,      // established, closed by the responder only
        kRSTO,    // established, then reset by the originator
        kRSTR,    // established, then reset by the responder
        kRSTOS0,  // SYN then RST from the originator, never answered
        kRSTRH,   // SYN-ACK then RST from the responder, no SYN seen
        kSH,      // SYN then FIN from the originator, never answered
        kSHR,     // SYN-ACK then FIN from the responder, no SYN seen
        kOTH,     // no SYN seen: captured in mid-stream, or nothing above fits
    };
    static constexpr std::size_t kStates = 13;

    // Round trips in microseconds.
    struct RoundTrips {
        std::int64_t least = 0;
        // The middle sample; of an even number, the mean of the two middle ones, rounded down.
        std::int64_t median = 0;
        std::int64_t most = 0;
    };

    State state = State::kOTH;
    // Per direction, forward first: the TCP data bytes, each sequence number once.
    std::array<std::uint64_t, 2> dataBytes{};
    // Both directions' sequence numbers that fell in holes.
    std::uint64_t missedBytes = 0;
    // Per direction: segments with RST.
    std::array<std::uint64_t, 2> resets{};
    // Per direction: the times it advertised a zero window after a window that was not zero.
    std::array<std::uint64_t, 2> zeroWindows{};
    // The longest time, microseconds, that either direction kept its window at zero.
    std::int64_t longestStall = 0;
    // From data segments sent once to the first acknowledgement covering them, both directions; none
    // without a sample.
    std::optional<RoundTrips> roundTrips;

    [[nodiscard]] std::uint64_t allResets() const { return resets[0] + resets[1]; }
    [[nodiscard]] std::uint64_t allZeroWindows() const { return zeroWindows[0] + zeroWindows[1]; }
    // "S0", "SF", ...
    [[nodiscard]] static std::string_view nameOf(State state);
};

}  // namespace korvo::measurement
