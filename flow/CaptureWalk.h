#pragma once
// Walks the segments of both directions of a flow together, in capture order (by packet number), for the
// judgements that read one direction against what the other had sent or advertised by then.

#include <array>
#include <cstddef>
#include <span>

#include "flow/SegmentRecord.h"

namespace korvo::measurement {

class CaptureWalk {
public:
    // Each direction's records in capture order.
    CaptureWalk(std::span<const SegmentRecord> first, std::span<const SegmentRecord> second)
        : sides_{first, second} {}

    // Calls `visit(side, place, segment)` for every segment of both directions, in capture order.
    template <typename Visit>
    static void forEach(std::span<const SegmentRecord> first, std::span<const SegmentRecord> second,
                        Visit visit) {
        CaptureWalk walk(first, second);
        std::size_t side = 0;
        std::size_t place = 0;
        while (walk.next(side, place)) {
            visit(side, place, walk.sides_[side][place]);
        }
    }

    // The direction (0 or 1) and place of the next segment; false when both are done.
    // Inlined into every walk: it runs once per segment of every flow.
    [[gnu::always_inline]] bool next(std::size_t& side, std::size_t& place) {
        const bool firstLeft = places_[0] < sides_[0].size();
        const bool secondLeft = places_[1] < sides_[1].size();
        if (!firstLeft && !secondLeft) {
            return false;
        }
        side = !secondLeft || (firstLeft &&
                               sides_[0][places_[0]].packetNumber() < sides_[1][places_[1]].packetNumber())
                   ? 0U
                   : 1U;
        place = places_[side]++;
        return true;
    }

private:
    std::array<std::span<const SegmentRecord>, 2> sides_;
    std::array<std::size_t, 2> places_{};
};

}  // namespace korvo::measurement
