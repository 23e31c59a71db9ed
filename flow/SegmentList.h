#pragma once
// One direction's segments in one order (capture, sequence or identification order): a read-only view that
// refers to the direction's records by position, so no record is copied per arrangement.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

#include "flow/SegmentRecord.h"

namespace korvo::measurement {

class SegmentList {
public:
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = SegmentRecord;
        using difference_type = std::ptrdiff_t;
        using pointer = const SegmentRecord*;
        using reference = const SegmentRecord&;

        Iterator() = default;
        Iterator(const SegmentRecord* records, const std::uint32_t* position)
            : records_(records), position_(position) {}

        reference operator*() const { return records_[*position_]; }
        // The segment's place in capture order.
        [[nodiscard]] std::uint32_t index() const { return *position_; }
        pointer operator->() const { return &**this; }
        Iterator& operator++() {
            ++position_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++position_;
            return before;
        }
        friend bool operator==(const Iterator& left, const Iterator& right) {
            return left.position_ == right.position_;
        }

    private:
        const SegmentRecord* records_ = nullptr;
        const std::uint32_t* position_ = nullptr;
    };

    SegmentList() = default;
    // `positions` index `records`.
    SegmentList(const SegmentRecord* records, std::span<const std::uint32_t> positions)
        : records_(records), positions_(positions) {}

    [[nodiscard]] std::size_t size() const { return positions_.size(); }
    [[nodiscard]] bool empty() const { return positions_.empty(); }
    const SegmentRecord& operator[](std::size_t index) const { return records_[positions_[index]]; }
    // The place in capture order of the segment at `index` of this order.
    [[nodiscard]] std::uint32_t indexAt(std::size_t index) const { return positions_[index]; }
    // Every record of the direction, in the order they are kept: for passes to which the order is all one.
    [[nodiscard]] std::span<const SegmentRecord> records() const { return {records_, positions_.size()}; }
    [[nodiscard]] Iterator begin() const { return {records_, positions_.data()}; }
    [[nodiscard]] Iterator end() const { return {records_, positions_.data() + positions_.size()}; }

private:
    const SegmentRecord* records_ = nullptr;
    std::span<const std::uint32_t> positions_;
};

}  // namespace korvo::measurement
