#pragma once
// What the report draws of one listed flow, per direction: its segments' sequence ranges over time, the other
// side's acknowledgements placed in that direction's sequence space (those advertising a zero window
// marked), its holes, and which segments were retransmissions or came out of order. Each list is thinned
// evenly to a bounded number of points, with its length before thinning, so that a flow of millions of
// segments draws in a page of bounded size.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvo::measurement {

struct SequenceGraph {
    enum class Mark : std::uint8_t { kData, kRetransmission, kOutOfOrder };
    // Times are microseconds since 1970; positions count from the direction's lowest, its first byte 0.
    struct Segment {
        std::int64_t time = 0;
        std::int64_t start = 0;
        std::int64_t end = 0;
        Mark mark = Mark::kData;
    };
    struct Acknowledgement {
        std::int64_t time = 0;
        std::int64_t position = 0;
        bool zeroWindow = false;
    };
    // Sequence numbers never captured, drawn at the time of the first segment after them.
    struct Hole {
        std::int64_t time = 0;
        std::int64_t start = 0;
        std::int64_t end = 0;
    };
    struct Direction {
        std::vector<Segment> segments;
        std::vector<Acknowledgement> acknowledgements;
        std::vector<Hole> holes;
        // The lengths before thinning.
        std::uint64_t allSegments = 0;
        std::uint64_t allAcknowledgements = 0;
        std::uint64_t allHoles = 0;
    };

    // Segments kept per direction of the plain ones, and again of the marked ones; acknowledgements and
    // holes.
    static constexpr std::size_t kMostSegments = 600;
    static constexpr std::size_t kMostMarked = 300;
    static constexpr std::size_t kMostAcknowledgements = 600;
    static constexpr std::size_t kMostHoles = 100;

    // Forward first.
    std::array<Direction, 2> directions;
};

}  // namespace korvo::measurement
