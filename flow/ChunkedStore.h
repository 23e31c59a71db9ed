#pragma once
// An append-only sequence stored in fixed blocks of 2^16 elements. Growing never copies what is stored, so
// the memory held is the elements plus at most one partly filled block, with no doubling peak.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace korvo::measurement {

template <typename T>
class ChunkedStore {
public:
    static constexpr unsigned kBlockBits = 16;
    static constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;

    void push_back(const T& value) {
        if (size_ % kBlockSize == 0) {
            blocks_.push_back(std::make_unique_for_overwrite<T[]>(kBlockSize));
        }
        blocks_.back()[size_ % kBlockSize] = value;
        ++size_;
    }

    T& operator[](std::size_t index) { return blocks_[index >> kBlockBits][index & (kBlockSize - 1)]; }
    const T& operator[](std::size_t index) const {
        return blocks_[index >> kBlockBits][index & (kBlockSize - 1)];
    }

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }

private:
    std::vector<std::unique_ptr<T[]>> blocks_;
    std::size_t size_ = 0;
};

}  // namespace korvo::measurement
