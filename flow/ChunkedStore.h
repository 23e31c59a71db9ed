#pragma once
// An append-only sequence stored in blocks of 64 KiB. Growing never copies what is stored, so the memory held
// is the elements plus at most one partly filled block, with no doubling peak; and the blocks are small
// enough that many stores side by side cost little while they are nearly empty.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

namespace korvo::measurement {

template <typename T>
class ChunkedStore {
public:
    static constexpr std::size_t kBlockSize = (std::size_t{64} << 10) / sizeof(T);

    void push_back(const T& value) {
        if (size_ % kBlockSize == 0 && size_ / kBlockSize == blocks_.size()) {
            blocks_.emplace_back(std::allocator<T>().allocate(kBlockSize));
        }
        std::construct_at(blocks_[size_ / kBlockSize].get() + size_ % kBlockSize, value);
        ++size_;
    }

    T& operator[](std::size_t index) { return blocks_[index / kBlockSize].get()[index % kBlockSize]; }
    const T& operator[](std::size_t index) const {
        return blocks_[index / kBlockSize].get()[index % kBlockSize];
    }

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    // Empties the store and gives its blocks back.
    void release() {
        blocks_.clear();
        blocks_.shrink_to_fit();
        size_ = 0;
    }

private:
    // Blocks are left uninitialised: an element is constructed when it is appended.
    struct BlockRelease {
        void operator()(T* block) const { std::allocator<T>().deallocate(block, kBlockSize); }
    };
    static_assert(std::is_trivially_destructible_v<T>);

    std::vector<std::unique_ptr<T, BlockRelease>> blocks_;
    std::size_t size_ = 0;
};

}  // namespace korvo::measurement
