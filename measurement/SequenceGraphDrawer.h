#pragma once
// Gathers the sequence graph of one flow (SequenceGraph) from its segments: one walk in capture order over
// both directions for the segments and acknowledgements, one in sequence order per direction for the holes,
// and the retransmission finder for which segments resent sequence space. Out of order, as the figures
// count them, are the other segments captured after one that starts further along, keep-alives and
// zero-window probes aside.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "figure/DetailText.h"
#include "flow/RetransmissionFinder.h"
#include "flow/SequenceEvaluator.h"
#include "measurement/SequenceGraph.h"

namespace korvo::measurement {

class SequenceGraphDrawer {
public:
    [[nodiscard]] std::shared_ptr<const SequenceGraph> draw(const SequenceEvaluator& flow);

    // Keeps at most `most` of `points`, evenly spread, the first always among them.
    template <typename Point>
    static void thin(std::vector<Point>& points, std::size_t most) {
        if (points.size() <= most) {
            return;
        }
        const std::size_t all = points.size();
        for (std::size_t kept = 0; kept < most; ++kept) {
            points[kept] = points[kept * all / most];
        }
        points.resize(most);
    }

private:
    void drawDirection(const SequenceEvaluator& flow, std::size_t side, SequenceGraph::Direction& drawn);

    RetransmissionFinder retransmissions_{false};
    std::array<std::vector<std::uint32_t>, 2> retransmitted_;
    DetailText unusedRows_;
    std::vector<SequenceGraph::Segment> marked_;
};

}  // namespace korvo::measurement
