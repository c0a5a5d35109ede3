// liballocation_counter.so: preloaded into the service by bench/run
// (LD_PRELOAD), it counts every malloc, calloc and realloc of the process,
// on every thread and from every library (operator new ends in malloc), into
// an 8-byte counter in a file that load_site maps and reads at the phase
// boundaries. The file is named by QUORVANE_ALLOCATION_COUNTER; without it
// the count stays in memory.
//
// The calls go on to glibc's own allocator through its exported __libc_*
// entry points, so free, malloc_usable_size and the aligned allocations stay
// consistent with it. Nothing here allocates: the counter file is opened and
// mapped before main, with plain system calls.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
}

namespace {

std::atomic<std::uint64_t> early_count{0};
// Set once, before main, while the process has one thread.
std::atomic<std::uint64_t>* shared_count = &early_count;

void count() {
    shared_count->fetch_add(1, std::memory_order_relaxed);
}

__attribute__((constructor(101))) void map_counter() {
    const char* path = std::getenv("QUORVANE_ALLOCATION_COUNTER");
    if (path == nullptr)
        return;
    const int file = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0)
        return;
    void* mapped = MAP_FAILED;
    if (::ftruncate(file, sizeof(std::uint64_t)) == 0)
        mapped = ::mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    ::close(file);
    if (mapped == MAP_FAILED)
        return;
    auto* counter = static_cast<std::atomic<std::uint64_t>*>(mapped);
    counter->store(early_count.load(), std::memory_order_relaxed);
    shared_count = counter;
}

}  // namespace

extern "C" void* malloc(std::size_t size) {
    count();
    return __libc_malloc(size);
}

extern "C" void* calloc(std::size_t count_of, std::size_t size) {
    count();
    return __libc_calloc(count_of, size);
}

extern "C" void* realloc(void* block, std::size_t size) {
    count();
    return __libc_realloc(block, size);
}
