#include "measurement/LoadTimeline.h"
#include "net/WireNumbers.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace korvo::measurement {

namespace {

using net::kEpoch;

}  // namespace

std::int64_t LoadTimeline::microsOf(boost::posix_time::ptime time) {
    return (time - kEpoch).total_microseconds();
}

void LoadTimeline::findInterval(boost::posix_time::ptime time) {
    // Finding the interval may widen them all, which moves the counters.
    lastCounts_ = bins_.at(microsOf(time));
    const TimeBins::Span span = bins_.lastFound();
    lastStart_ = kEpoch + boost::posix_time::microseconds(span.start);
    lastEnd_ = kEpoch + boost::posix_time::microseconds(span.end);
}

void LoadTimeline::handlePacket(const EthernetPacket& packet) {
    // Before the first frame the bounds are not a time, and every comparison with them fails.
    if (packet.captureTime < lastStart_ || !(packet.captureTime < lastEnd_)) {
        findInterval(packet.captureTime);
    }
    std::uint64_t* counts = lastCounts_;
    const std::size_t first = carriesTcp_ ? kTcpFrames : kOtherFrames;
    carriesTcp_ = false;
    ++counts[first];
    counts[first + 1] += packet.length;
}

}  // namespace korvo::measurement
