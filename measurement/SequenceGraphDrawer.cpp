#include "measurement/SequenceGraphDrawer.h"

#include <algorithm>

#include "flow/CaptureWalk.h"
#include "flow/MarkedPlaces.h"
#include "flow/SequenceAnchor.h"

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

void SequenceGraphDrawer::drawDirection(const SequenceEvaluator& flow, std::size_t side,
                                        SequenceGraph::Direction& drawn) {
    using Mark = SequenceGraph::Mark;
    const SequenceEvaluator::Direction& own = side == 0 ? flow.forward() : flow.reverse();
    const SequenceEvaluator::Direction& other = side == 0 ? flow.reverse() : flow.forward();
    if (own.byCapture.empty()) {
        return;
    }
    const std::int64_t lowest = *std::ranges::min_element(own.positions);
    MarkedPlaces retransmitted(retransmitted_[side]);
    MarkedPlaces keepAlivesAndProbes(own.keepAlivesAndProbes);
    marked_.clear();
    bool reached = false;
    std::int64_t furthest = 0;
    // The furthest position a segment of the direction started at: one that starts below it is late.
    std::int64_t furthestStart = 0;
    SequenceAnchor last;
    CaptureWalk walk(own.byCapture.records(), other.byCapture.records());
    std::size_t walked = 0;
    std::size_t place = 0;
    while (walk.next(walked, place)) {
        if (walked == 1) {
            const SegmentRecord& answer = other.byCapture[place];
            if (reached && answer.has(SegmentRecord::kAck)) {
                const std::int64_t position = last.place(answer.acknowledgementNumber);
                // An acknowledgement of what was never sent has no place in the graph.
                if (position <= furthest && position >= lowest) {
                    drawn.acknowledgements.push_back(
                        {answer.captureMicros(), position - lowest, answer.has(SegmentRecord::kZeroWindow)});
                }
            }
            continue;
        }
        const SegmentRecord& segment = own.byCapture[place];
        const std::int64_t start = own.positions[place];
        const std::int64_t end = start + segment.segmentLength;
        last.set(start, segment.sequenceNumber);
        const bool resent = retransmitted.holds(place);
        const bool probe = keepAlivesAndProbes.holds(place);
        if (segment.segmentLength != 0) {
            Mark mark = Mark::kData;
            if (resent) {
                mark = Mark::kRetransmission;
            } else if (reached && start < furthestStart && !probe) {
                mark = Mark::kOutOfOrder;
            }
            const SequenceGraph::Segment drawnSegment{segment.captureMicros(), start - lowest, end - lowest,
                                                      mark};
            (mark == Mark::kData ? drawn.segments : marked_).push_back(drawnSegment);
        }
        furthest = reached ? std::max(furthest, end) : end;
        furthestStart = reached ? std::max(furthestStart, start) : start;
        reached = true;
    }
    std::int64_t coveredEnd = 0;
    bool first = true;
    for (auto segment = own.bySequence.begin(); segment != own.bySequence.end(); ++segment) {
        const std::int64_t start = own.positions[segment.index()];
        if (!first && start > coveredEnd) {
            drawn.holes.push_back({segment->captureMicros(), coveredEnd - lowest, start - lowest});
        }
        coveredEnd =
            first ? start + segment->segmentLength : std::max(coveredEnd, start + segment->segmentLength);
        first = false;
    }
    drawn.allSegments = drawn.segments.size() + marked_.size();
    drawn.allAcknowledgements = drawn.acknowledgements.size();
    drawn.allHoles = drawn.holes.size();
    thin(drawn.segments, SequenceGraph::kMostSegments);
    thin(marked_, SequenceGraph::kMostMarked);
    drawn.segments.insert(drawn.segments.end(), marked_.begin(), marked_.end());
    thin(drawn.acknowledgements, SequenceGraph::kMostAcknowledgements);
    thin(drawn.holes, SequenceGraph::kMostHoles);
}

}  // namespace korvo::measurement
