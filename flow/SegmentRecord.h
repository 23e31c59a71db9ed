#pragma once
// What the flow table keeps of one TCP segment: 28 bytes, so that captures of hundreds of millions of
// segments fit in memory. Packet numbers are kept to 48 bits (2^48 frames is far beyond any capture file).

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>

namespace korvo::measurement {

class SegmentRecord {
public:
    static constexpr std::uint64_t kMaxPacketNumber = (std::uint64_t{1} << 48) - 1;

    // What the sequence figures need of the TCP flags and the advertised window. FIN, SYN and RST have the
    // bits they have in the TCP header, and ACK its bit shifted down by one, so that the flags are taken in a
    // few instructions.
    enum Flag : std::uint8_t { kFin = 1, kSyn = 2, kRst = 4, kAck = 8, kZeroWindow = 16 };

    SegmentRecord() = default;
    // `packetNumber` must not exceed kMaxPacketNumber. `ipIdentification` is the identification's numeric
    // key: header byte 4 plus 256 times byte 5. `flags` is a set of Flag values.
    SegmentRecord(std::uint32_t sequenceNumber, std::uint32_t segmentLength,
                  std::uint32_t acknowledgementNumber, std::uint64_t packetNumber,
                  boost::posix_time::ptime captureTime, std::uint16_t ipIdentification,
                  std::uint8_t flags = 0);

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
    // Moves the packet number by `offset` frames; the sum must not exceed kMaxPacketNumber.
    void movePacketNumber(std::uint64_t offset) {
        const std::uint64_t moved = packetNumber() + offset;
        packetNumberLow_ = static_cast<std::uint32_t>(moved);
        packetNumberHigh_ = static_cast<std::uint16_t>(moved >> 32);
    }
    [[nodiscard]] boost::posix_time::ptime captureTime() const;
    // The capture time as microseconds since 1970.
    [[nodiscard]] std::int64_t captureMicros() const {
        // Shifted up and back down as a signed number, so that the time's sign bit fills the flags' place.
        const auto raw = (std::uint64_t{timeHigh_} << 32) | timeLow_;
        return static_cast<std::int64_t>(raw << kFlagBits) >> kFlagBits;
    }
    [[nodiscard]] std::uint16_t ipIdentification() const { return ipIdentification_; }
    [[nodiscard]] bool has(Flag flag) const { return ((timeHigh_ >> kFlagShift) & flag) != 0; }
    // The TCP data bytes: the occupied sequence space less the one number of a SYN and of a FIN.
    [[nodiscard]] std::uint32_t dataLength() const {
        const std::uint32_t flags = timeHigh_ >> kFlagShift;
        return segmentLength - (flags & kFin) - ((flags & kSyn) >> 1);
    }

private:
    // The flags take the top five bits of the time's high half.
    static constexpr unsigned kFlagBits = 5;
    static constexpr unsigned kFlagShift = 32 - kFlagBits;

    // Microseconds since 1970, signed, in 59 bits (over 9,000 years either way), split in halves, keeping
    // the record 4-byte aligned and so 28 bytes long; the flags above them.
    std::uint32_t timeLow_ = 0;
    std::uint32_t timeHigh_ = 0;
    std::uint32_t packetNumberLow_ = 0;
    std::uint16_t packetNumberHigh_ = 0;
    std::uint16_t ipIdentification_ = 0;
};

static_assert(sizeof(SegmentRecord) == 28);

}  // namespace korvo::measurement
