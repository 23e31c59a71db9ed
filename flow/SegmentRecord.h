#pragma once
// What the flow table keeps of one TCP segment: 28 bytes, so that captures of hundreds of millions of
// segments fit in memory. Packet numbers are kept to 48 bits (2^48 frames is far beyond any capture file).

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>

namespace korvo::measurement {

class SegmentRecord {
public:
    static constexpr std::uint64_t kMaxPacketNumber = (std::uint64_t{1} << 48) - 1;

    SegmentRecord() = default;
    // `packetNumber` must not exceed kMaxPacketNumber. `ipIdentification` is the identification's numeric
    // key: header byte 4 plus 256 times byte 5.
    SegmentRecord(std::uint32_t sequenceNumber, std::uint32_t segmentLength,
                  std::uint32_t acknowledgementNumber, std::uint64_t packetNumber,
                  boost::posix_time::ptime captureTime, std::uint16_t ipIdentification);

    // The TCP sequence number, in host order.
    std::uint32_t sequenceNumber = 0;
    // The sequence space the segment occupies: its TCP data, plus one for a SYN and one for a FIN. A pure
    // acknowledgement occupies none.
    std::uint32_t segmentLength = 0;
    // The TCP acknowledgement number, in host order, whether or not the ACK flag is set.
    std::uint32_t acknowledgementNumber = 0;

    [[nodiscard]] std::uint64_t packetNumber() const {
        return (std::uint64_t{packetNumberHigh_} << 32) | packetNumberLow_;
    }
    [[nodiscard]] boost::posix_time::ptime captureTime() const;
    [[nodiscard]] std::uint16_t ipIdentification() const { return ipIdentification_; }

private:
    // Microseconds since 1970 split in halves, keeping the record 4-byte aligned and so 28 bytes long.
    std::uint32_t timeLow_ = 0;
    std::uint32_t timeHigh_ = 0;
    std::uint32_t packetNumberLow_ = 0;
    std::uint16_t packetNumberHigh_ = 0;
    std::uint16_t ipIdentification_ = 0;
};

static_assert(sizeof(SegmentRecord) == 28);

}  // namespace korvo::measurement
