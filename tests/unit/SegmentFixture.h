#pragma once
// Segment records kept as a direction's records are kept, for handing hand-made lists to the finders.

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "flow/SegmentList.h"
#include "flow/SegmentRecord.h"

namespace korvo::measurement {

class SegmentFixture {
public:
    // Files a segment and returns its position; capture time is packet number seconds after 2008-03-05.
    // Lists made earlier become invalid.
    std::uint32_t add(std::uint32_t sequenceNumber, std::uint32_t segmentLength, std::uint64_t packetNumber,
                      std::uint16_t identification = 0) {
        const boost::posix_time::ptime time = boost::posix_time::ptime(boost::gregorian::date(2008, 3, 5)) +
                                              boost::posix_time::seconds(static_cast<long>(packetNumber));
        store_.emplace_back(sequenceNumber, segmentLength, packetNumber, time, identification);
        return static_cast<std::uint32_t>(store_.size() - 1);
    }

    // A list of the given positions, in the given order. The positions must outlive the list.
    [[nodiscard]] SegmentList list(const std::vector<std::uint32_t>& positions) const {
        return SegmentList(store_.data(), positions);
    }

private:
    std::vector<SegmentRecord> store_;
};

}  // namespace korvo::measurement
