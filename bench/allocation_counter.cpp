// liballocation_counter.so: preloaded into the service by bench/run
// (LD_PRELOAD), it counts every malloc, calloc and realloc of the process,
// on every thread and from every library (operator new ends in malloc), into
// the first 8-byte counter of a file that load_site maps and reads at the
// phase boundaries; the second counts those of the main thread alone, which
// runs the service's path (libzmq's copy of each message sent included),
// apart from what libzmq's I/O thread and the HTTP client's workers allocate. The file is named by QUORVANE_ALLOCATION_COUNTER; without it
// the count stays in memory.
//
// The calls go on to glibc's own allocator through its exported __libc_*
// entry points, so free, malloc_usable_size and the aligned allocations stay
// consistent with it. Nothing here allocates: the counter file is opened and
// mapped before main, with plain system calls.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
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

struct counts {
    std::atomic<std::uint64_t> all{0};
    std::atomic<std::uint64_t> main_thread{0};
};

counts early_counts;
// Set once, before main, while the process has one thread.
counts* shared_counts = &early_counts;

// -1 until the thread's first allocation asks; initial-exec, so that the
// thread-local itself never allocates.
__attribute__((tls_model("initial-exec"))) thread_local int on_main_thread = -1;

void count() {
    shared_counts->all.fetch_add(1, std::memory_order_relaxed);
    if (on_main_thread < 0)
        on_main_thread = ::syscall(SYS_gettid) == ::getpid() ? 1 : 0;
    if (on_main_thread)
        shared_counts->main_thread.fetch_add(1, std::memory_order_relaxed);
}

__attribute__((constructor(101))) void map_counter() {
    const char* path = std::getenv("QUORVANE_ALLOCATION_COUNTER");
    if (path == nullptr)
        return;
    const int file = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0)
        return;
    void* mapped = MAP_FAILED;
    if (::ftruncate(file, sizeof(counts)) == 0)
        mapped = ::mmap(nullptr, sizeof(counts), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    ::close(file);
    if (mapped == MAP_FAILED)
        return;
    auto* mapped_counts = static_cast<counts*>(mapped);
    mapped_counts->all.store(early_counts.all.load(), std::memory_order_relaxed);
    mapped_counts->main_thread.store(early_counts.main_thread.load(), std::memory_order_relaxed);
    shared_counts = mapped_counts;
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
