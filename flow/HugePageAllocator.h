#pragma once
// An allocator for the flow table's large arrays. Allocations of 2 MiB or more are aligned to 2 MiB and
// marked for transparent huge pages: the flow table touches them at random, and with 4 KiB pages almost
// every such touch would also miss the address-translation cache.

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace korvo::measurement {

template <typename T>
class HugePageAllocator {
public:
    using value_type = T;
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;

    HugePageAllocator() = default;
    template <typename U>
    explicit HugePageAllocator(const HugePageAllocator<U>& /*other*/) {}

    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kHugePage) {
            return std::allocator<T>().allocate(count);
        }
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* memory = std::aligned_alloc(kHugePage, rounded);
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
#ifdef MADV_HUGEPAGE
        madvise(memory, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(memory);
    }

    void deallocate(T* memory, std::size_t count) {
        if (count * sizeof(T) < kHugePage) {
            std::allocator<T>().deallocate(memory, count);
        } else {
            std::free(memory);
        }
    }

    friend bool operator==(const HugePageAllocator&, const HugePageAllocator&) {
        return true;
    }
};

template <typename T>
using HugePageVector = std::vector<T, HugePageAllocator<T>>;

}  // namespace korvo::measurement
