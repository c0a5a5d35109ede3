#pragma once

#include <array>
#include <cstddef>
#include <new>

namespace kel {

// Class-specific operator new and delete for objects that are created and
// destroyed over and over, such as the events queue of every decision pass:
// a freed block is kept and handed out again, so that in steady state
// creating one allocates nothing.
//
// Derive T from recycled<T>. Each thread keeps up to `kept` free blocks of
// sizeof(T); a block of another size (a class derived from T) goes to the
// global allocator. Blocks may be freed on another thread than the one that
// allocated them; a thread's kept blocks are released when it ends.
template <typename T, std::size_t kept = 4>
class recycled {
public:
    static void* operator new(std::size_t size) {
        auto& list = free_blocks();
        if (size == sizeof(T) && list.count > 0)
            return list.blocks[--list.count];
        return ::operator new(size);
    }

    static void operator delete(void* block, std::size_t size) noexcept {
        auto& list = free_blocks();
        if (size == sizeof(T) && list.count < kept) {
            list.blocks[list.count++] = block;
            return;
        }
        ::operator delete(block);
    }

private:
    struct block_list {
        std::array<void*, kept> blocks{};
        std::size_t count = 0;

        ~block_list() {
            while (count > 0)
                ::operator delete(blocks[--count]);
        }
    };

    static block_list& free_blocks() {
        thread_local block_list list;
        return list;
    }
};

}  // namespace kel
