#pragma once
// Gathers the sequence graph of one flow (SequenceGraph) from its segments: per direction, walks in capture
// order over both directions for the segments and acknowledgements and in sequence order for the holes (for
// a flow judged from files, once to count the points and once to keep those that thinning picks, so that no
// list of every point is held); and the retransmission finder for which segments resent sequence space. Out
// of order, as the figures count them, are the other segments captured after one that starts further along,
// keep-alives and zero-window probes aside.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "figure/DetailText.h"
#include "flow/RetransmissionFinder.h"
#include "flow/SequenceEvaluator.h"
#include "measurement/EvenPick.h"
#include "measurement/SequenceGraph.h"

namespace korvo::measurement {

class SequenceGraphDrawer {
public:
    [[nodiscard]] std::shared_ptr<const SequenceGraph> draw(const SequenceEvaluator& flow);

    // Keeps at most `most` of `points`, evenly spread, the first always among them: those an EvenPick takes.
    template <typename Point>
    static void thin(std::vector<Point>& points, std::size_t most) {
        EvenPick pick(points.size(), most);
        std::size_t kept = 0;
        for (const Point& point : points) {
            if (pick.take()) {
                points[kept++] = point;
            }
        }
        points.resize(kept);
    }

private:
    void drawDirection(const SequenceEvaluator& flow, std::size_t side, SequenceGraph::Direction& drawn);
    // Calls `take` with every point of direction `side`: take(segment) for a plain segment, take(segment,
    // true) for a marked one, take(acknowledgement) and take(hole). `lowest` is the direction's lowest
    // position.
    template <typename Take>
    void walkPoints(const SequenceEvaluator& flow, std::size_t side, std::int64_t lowest, Take&& take) const;

    RetransmissionFinder retransmissions_{false};
    std::array<std::vector<std::uint32_t>, 2> retransmitted_;
    DetailText unusedRows_;
    std::vector<SequenceGraph::Segment> marked_;
};

}  // namespace korvo::measurement
