#pragma once
// Segment records kept as a direction's records are kept, for handing hand-made lists to the finders.

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "flow/SegmentList.h"
#include "flow/SegmentRecord.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

class SegmentFixture {
public:
    // Files a segment, the next in capture order, and returns its place; capture time is packet number
    // times the spacing (a second unless set) after 2008-03-05. Lists made earlier become invalid.
    std::uint32_t add(std::uint32_t sequenceNumber, std::uint32_t segmentLength, std::uint64_t packetNumber,
                      std::uint16_t identification = 0) {
        const boost::posix_time::ptime time = boost::posix_time::ptime(boost::gregorian::date(2008, 3, 5)) +
                                              spacing_ * static_cast<int>(packetNumber);
        // Unwrapped as the flow table does it: each position is the previous plus the signed difference.
        positions_.push_back(store_.empty()
                                 ? std::int64_t{sequenceNumber}
                                 : positions_.back() + static_cast<std::int32_t>(
                                                           sequenceNumber - store_.back().sequenceNumber));
        store_.emplace_back(sequenceNumber, segmentLength, 0, packetNumber, time, identification);
        return static_cast<std::uint32_t>(store_.size() - 1);
    }

    void setSpacing(boost::posix_time::time_duration spacing) { spacing_ = spacing; }

    // The unwrapped sequence positions of every segment filed, in capture order.
    [[nodiscard]] std::span<const std::int64_t> positions() const { return positions_; }

    // A list of the given positions, in the given order. The positions must outlive the list.
    [[nodiscard]] SegmentList list(const std::vector<std::uint32_t>& positions) const {
        return SegmentList(store_.data(), positions);
    }

    // A flow whose forward direction holds every segment filed, in capture order, arranged as the flow
    // table arranges it. Filing more segments makes it invalid.
    [[nodiscard]] const SequenceEvaluator& flow() {
        flow_.assign(FlowTuple(), store_, {});
        return flow_;
    }

private:
    boost::posix_time::time_duration spacing_ = boost::posix_time::seconds(1);
    std::vector<SegmentRecord> store_;
    std::vector<std::int64_t> positions_;
    SequenceEvaluator flow_;
};

}  // namespace korvo::measurement
