#pragma once

#include "free_blocks.h"

#include <cstddef>
#include <new>

namespace kel {

// Class-specific operator new and delete for objects that are created and
// destroyed over and over, such as the events queue of every decision pass:
// a freed block is kept and handed out again, so that in steady state
// creating one allocates nothing.
//
// Derive T from recycled<T>. Each thread keeps up to `kept` free blocks of
// sizeof(T) (free_blocks); a block of another size (a class derived from T)
// goes to the global allocator.
template <typename T, std::size_t kept = 4>
class recycled {
public:
    static void* operator new(std::size_t size) {
        if (size == sizeof(T))
            return free_blocks<sizeof(T), kept>::take();
        return ::operator new(size);
    }

    static void operator delete(void* block, std::size_t size) noexcept {
        if (size == sizeof(T))
            free_blocks<sizeof(T), kept>::give(block);
        else
            ::operator delete(block);
    }
};

}  // namespace kel
