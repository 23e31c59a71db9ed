#include "flow/SegmentMarks.h"

#include "flow/CaptureWalk.h"
#include "flow/ConnectionStarts.h"
#include "flow/KeepAlivesAndProbes.h"
#include "flow/MarkedPlaces.h"

namespace korvo::measurement {

void SegmentMarks::clear() {
    for (std::vector<std::uint32_t>& places : connectionStarts_) {
        places.clear();
    }
    for (std::vector<std::uint32_t>& places : keepAlivesAndProbes_) {
        places.clear();
    }
}

void SegmentMarks::findConnections(std::span<const SegmentRecord> forward,
                                   std::span<const SegmentRecord> reverse) {
    ConnectionStarts starts;
    CaptureWalk::forEach(forward, reverse,
                         [&](std::size_t side, std::size_t place, const SegmentRecord& segment) {
                             if (starts.next(side, place, segment)) {
                                 connectionStarts_[side].push_back(static_cast<std::uint32_t>(place));
                             }
                         });
}

void SegmentMarks::findKeepAlivesAndProbes(std::span<const SegmentRecord> forward,
                                           std::span<const std::int64_t> forwardPositions,
                                           std::span<const SegmentRecord> reverse,
                                           std::span<const std::int64_t> reversePositions) {
    const std::array<std::span<const std::int64_t>, 2> positions{forwardPositions, reversePositions};
    std::array<MarkedPlaces, 2> starts{MarkedPlaces(connectionStarts_[0]),
                                       MarkedPlaces(connectionStarts_[1])};
    KeepAlivesAndProbes found;
    CaptureWalk::forEach(
        forward, reverse, [&](std::size_t side, std::size_t place, const SegmentRecord& segment) {
            if (found.next(side, segment, positions[side][place], starts[side].holds(place))) {
                keepAlivesAndProbes_[side].push_back(static_cast<std::uint32_t>(place));
            }
        });
}

}  // namespace korvo::measurement
