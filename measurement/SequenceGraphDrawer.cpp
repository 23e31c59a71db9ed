#include "measurement/SequenceGraphDrawer.h"

#include <algorithm>

#include "flow/MarkedPlaces.h"
#include "flow/SequenceAnchor.h"
#include "measurement/EvenPick.h"

namespace korvo::measurement {

std::shared_ptr<const SequenceGraph> SequenceGraphDrawer::draw(const SequenceEvaluator& flow) {
    for (std::vector<std::uint32_t>& places : retransmitted_) {
        places.clear();
    }
    retransmissions_.find(flow, unusedRows_, nullptr, &retransmitted_);
    auto graph = std::make_shared<SequenceGraph>();
    drawDirection(flow, 0, graph->directions[0]);
    drawDirection(flow, 1, graph->directions[1]);
    return graph;
}

template <typename Take>
void SequenceGraphDrawer::walkPoints(const SequenceEvaluator& flow, std::size_t side, std::int64_t lowest,
                                     Take&& take) const {
    using Mark = SequenceGraph::Mark;
    MarkedPlaces retransmitted(retransmitted_[side]);
    bool reached = false;
    std::int64_t furthest = 0;
    // The furthest position a segment of the direction started at: one that starts below it is late.
    std::int64_t furthestStart = 0;
    SequenceAnchor last;
    flow.walkCapture(side, [&](std::size_t walked, const PlacedSegment& placed) {
        const SegmentRecord& segment = placed.segment;
        if (walked != side) {
            if (reached && segment.has(SegmentRecord::kAck)) {
                const std::int64_t position = last.place(segment.acknowledgementNumber);
                // An acknowledgement of what was never sent has no place in the graph.
                if (position <= furthest && position >= lowest) {
                    take(SequenceGraph::Acknowledgement{segment.captureMicros(), position - lowest,
                                                        segment.has(SegmentRecord::kZeroWindow)});
                }
            }
            return;
        }
        const std::int64_t start = placed.position;
        const std::int64_t end = start + segment.segmentLength;
        last.set(start, segment.sequenceNumber);
        const bool resent = retransmitted.holds(placed.place);
        if (segment.segmentLength != 0) {
            Mark mark = Mark::kData;
            if (resent) {
                mark = Mark::kRetransmission;
            } else if (reached && start < furthestStart && !placed.keepAliveOrProbe) {
                mark = Mark::kOutOfOrder;
            }
            const SequenceGraph::Segment drawn{segment.captureMicros(), start - lowest, end - lowest, mark};
            if (mark == Mark::kData) {
                take(drawn);
            } else {
                take(drawn, true);
            }
        }
        furthest = reached ? std::max(furthest, end) : end;
        furthestStart = reached ? std::max(furthestStart, start) : start;
        reached = true;
    });
    std::int64_t coveredEnd = 0;
    bool first = true;
    flow.walkSequence(side, [&](const PlacedSegment& placed) {
        const std::int64_t start = placed.position;
        if (!first && start > coveredEnd) {
            take(SequenceGraph::Hole{placed.segment.captureMicros(), coveredEnd - lowest, start - lowest});
        }
        const std::int64_t end = start + placed.segment.segmentLength;
        coveredEnd = first ? end : std::max(coveredEnd, end);
        first = false;
    });
}

void SequenceGraphDrawer::drawDirection(const SequenceEvaluator& flow, std::size_t side,
                                        SequenceGraph::Direction& drawn) {
    if (flow.packets(side) == 0) {
        return;
    }
    // Sequence order begins at the lowest position.
    std::int64_t lowest = 0;
    flow.walkSequence(side, [&lowest](const PlacedSegment& placed) {
        lowest = placed.position;
        return false;
    });
    struct Counts {
        std::size_t plain = 0;
        std::size_t marked = 0;
        std::size_t acknowledgements = 0;
        std::size_t holes = 0;
        void operator()(const SequenceGraph::Segment& /*segment*/, bool isMarked = false) {
            ++(isMarked ? marked : plain);
        }
        void operator()(const SequenceGraph::Acknowledgement& /*acknowledgement*/) { ++acknowledgements; }
        void operator()(const SequenceGraph::Hole& /*hole*/) { ++holes; }
    } counts;
    struct Picks {
        SequenceGraph::Direction& drawn;
        std::vector<SequenceGraph::Segment>& marked;
        EvenPick plain;
        EvenPick markedPick;
        EvenPick acknowledgements;
        EvenPick holes;
        void operator()(const SequenceGraph::Segment& segment, bool isMarked = false) {
            if (isMarked ? markedPick.take() : plain.take()) {
                (isMarked ? marked : drawn.segments).push_back(segment);
            }
        }
        void operator()(const SequenceGraph::Acknowledgement& acknowledgement) {
            if (acknowledgements.take()) {
                drawn.acknowledgements.push_back(acknowledgement);
            }
        }
        void operator()(const SequenceGraph::Hole& hole) {
            if (holes.take()) {
                drawn.holes.push_back(hole);
            }
        }
    };
    marked_.clear();
    if (flow.spilled() == nullptr) {
        // In memory, every point is kept and the lists thinned after one walk.
        struct Keep {
            SequenceGraph::Direction& drawn;
            std::vector<SequenceGraph::Segment>& marked;
            void operator()(const SequenceGraph::Segment& segment, bool isMarked = false) {
                (isMarked ? marked : drawn.segments).push_back(segment);
            }
            void operator()(const SequenceGraph::Acknowledgement& acknowledgement) {
                drawn.acknowledgements.push_back(acknowledgement);
            }
            void operator()(const SequenceGraph::Hole& hole) { drawn.holes.push_back(hole); }
        };
        walkPoints(flow, side, lowest, Keep{drawn, marked_});
        counts = {drawn.segments.size(), marked_.size(), drawn.acknowledgements.size(), drawn.holes.size()};
        thin(drawn.segments, SequenceGraph::kMostSegments);
        thin(marked_, SequenceGraph::kMostMarked);
        thin(drawn.acknowledgements, SequenceGraph::kMostAcknowledgements);
        thin(drawn.holes, SequenceGraph::kMostHoles);
    } else {
        // From files, the points are counted in one walk and the picked ones kept in a second, so that no
        // list of every point is held.
        walkPoints(flow, side, lowest, counts);
        walkPoints(flow, side, lowest,
                   Picks{drawn, marked_, EvenPick(counts.plain, SequenceGraph::kMostSegments),
                         EvenPick(counts.marked, SequenceGraph::kMostMarked),
                         EvenPick(counts.acknowledgements, SequenceGraph::kMostAcknowledgements),
                         EvenPick(counts.holes, SequenceGraph::kMostHoles)});
    }
    drawn.allSegments = counts.plain + counts.marked;
    drawn.allAcknowledgements = counts.acknowledgements;
    drawn.allHoles = counts.holes;
    drawn.segments.insert(drawn.segments.end(), marked_.begin(), marked_.end());
}

}  // namespace korvo::measurement
