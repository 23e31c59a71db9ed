#include "measurement/LoadTimeline.h"

namespace korvo::measurement {

std::int64_t LoadTimeline::microsOf(boost::posix_time::ptime time) {
    static const boost::posix_time::ptime kEpoch(boost::gregorian::date(1970, 1, 1));
    return (time - kEpoch).total_microseconds();
}

void LoadTimeline::handlePacket(const EthernetPacket& packet) {
    std::uint64_t* counts = bins_.at(microsOf(packet.captureTime));
    const std::size_t first = packet.packetNumber == lastTcpFrame_ ? kTcpFrames : kOtherFrames;
    ++counts[first];
    counts[first + 1] += packet.length;
}

}  // namespace korvo::measurement
