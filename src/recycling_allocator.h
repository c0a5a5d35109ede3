#pragma once

#include "free_blocks.h"

#include <cstddef>
#include <memory>

namespace kel {

// An allocator for node-based containers whose elements come and go all
// the time, such as the map of membership records: single objects come
// from and go back to a per-thread list of free blocks of their size
// (free_blocks), arrays (a hash table's buckets) from the global allocator.
// Stateless: every instance can free what any other allocated. Where a
// node lies does not change a container's order, which follows its keys.
template <typename T, std::size_t kept = 1024>
class recycling_allocator {
public:
    using value_type = T;
    template <typename U>
    struct rebind {
        using other = recycling_allocator<U, kept>;
    };

    recycling_allocator() noexcept = default;
    template <typename U>
    recycling_allocator(const recycling_allocator<U, kept>&) noexcept {}

    T* allocate(std::size_t n) {
        static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "over-aligned types need their own blocks");
        if (n == 1)
            return static_cast<T*>(free_blocks<sizeof(T), kept>::take());
        return std::allocator<T>().allocate(n);
    }

    void deallocate(T* p, std::size_t n) noexcept {
        if (n == 1)
            free_blocks<sizeof(T), kept>::give(p);
        else
            std::allocator<T>().deallocate(p, n);
    }

    template <typename U>
    bool operator==(const recycling_allocator<U, kept>&) const noexcept {
        return true;
    }
    template <typename U>
    bool operator!=(const recycling_allocator<U, kept>&) const noexcept {
        return false;
    }
};

}  // namespace kel
