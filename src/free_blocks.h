#pragma once

#include <array>
#include <cstddef>
#include <new>

namespace kel {

// Up to `kept` freed blocks of `size` bytes, per thread, handed out again
// before the global allocator is asked: what a churn of same-sized objects
// (queues, map nodes) needs to allocate nothing in steady state.
//
// A block may be given back on another thread than the one that took it;
// it then joins that thread's list. A thread's blocks are released when it
// ends, and blocks given back after that (by the destructors of statics)
// go straight to the global allocator.
template <std::size_t size, std::size_t kept>
class free_blocks {
public:
    static void* take() {
        if (state() != gone) {
            auto& list = of_thread();
            if (list.m_count > 0)
                return list.m_blocks[--list.m_count];
        }
        return ::operator new(size);
    }

    static void give(void* block) noexcept {
        if (state() != gone) {
            auto& list = of_thread();
            if (list.m_count < kept) {
                list.m_blocks[list.m_count++] = block;
                return;
            }
        }
        ::operator delete(block);
    }

private:
    enum thread_state { unused, in_use, gone };

    free_blocks() { state() = in_use; }
    ~free_blocks() {
        state() = gone;
        while (m_count > 0)
            ::operator delete(m_blocks[--m_count]);
    }

    // Trivially destructible, so it can still be read once the list is
    // gone.
    static thread_state& state() {
        thread_local thread_state value = unused;
        return value;
    }

    static free_blocks& of_thread() {
        thread_local free_blocks list;
        return list;
    }

    std::array<void*, kept> m_blocks{};
    std::size_t m_count = 0;
};

}  // namespace kel
