#pragma once

#include <cstddef>

namespace kel::bench {

// The number of operator new calls the process has made so far. Linking
// counting_allocator.cpp replaces the global operator new and delete with
// ones that count and then use malloc and free; single-threaded use only.
std::size_t allocations();

}  // namespace kel::bench
