#include "flow/SegmentRecord.h"
#include "net/WireNumbers.h"

namespace korvo::measurement {

namespace {

using net::kEpoch;

}  // namespace

SegmentRecord::SegmentRecord(std::uint32_t sequenceNumber_, std::uint32_t segmentLength_,
                             std::uint32_t acknowledgementNumber_, std::uint64_t packetNumber,
                             boost::posix_time::ptime captureTime, std::uint16_t ipIdentification,
                             std::uint8_t flags)
    : sequenceNumber(sequenceNumber_),
      segmentLength(segmentLength_),
      acknowledgementNumber(acknowledgementNumber_),
      packetNumberLow_(static_cast<std::uint32_t>(packetNumber)),
      packetNumberHigh_(static_cast<std::uint16_t>(packetNumber >> 32)),
      ipIdentification_(ipIdentification) {
    const auto micros = static_cast<std::uint64_t>((captureTime - kEpoch).total_microseconds());
    timeLow_ = static_cast<std::uint32_t>(micros);
    const std::uint32_t timeHighMask = (std::uint32_t{1} << kFlagShift) - 1;
    timeHigh_ = (static_cast<std::uint32_t>(micros >> 32) & timeHighMask) |
                (static_cast<std::uint32_t>(flags) << kFlagShift);
}

boost::posix_time::ptime SegmentRecord::captureTime() const {
    return kEpoch + boost::posix_time::microseconds(captureMicros());
}

}  // namespace korvo::measurement
