#pragma once
// The last segment of one direction met in a walk in capture order, by which a sequence number of that
// direction, as the other side acknowledges it, is placed among the direction's unwrapped positions.

#include <cstdint>

namespace korvo::measurement {

class SequenceAnchor {
public:
    void set(std::int64_t position, std::uint32_t sequenceNumber) {
        position_ = position;
        sequenceNumber_ = sequenceNumber;
    }
    // The position of `number`: the anchor's position plus their signed 32-bit difference.
    [[nodiscard]] std::int64_t place(std::uint32_t number) const {
        return position_ + static_cast<std::int32_t>(number - sequenceNumber_);
    }

private:
    std::int64_t position_ = 0;
    std::uint32_t sequenceNumber_ = 0;
};

}  // namespace korvo::measurement
