#include "support/uncounted.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The linker's bounds of the section that -fsanitize-coverage=inline-8bit-counters
// puts the counters of every instrumented module into; weak, so that a
// binary without them links too.
extern "C" {
extern std::uint8_t __start___sancov_cntrs[] __attribute__((weak));
extern std::uint8_t __stop___sancov_cntrs[] __attribute__((weak));
}

namespace kel::fuzz {

void run_uncounted(const std::function<void()>& work) {
    std::uint8_t* const begin = __start___sancov_cntrs;
    std::uint8_t* const end = __stop___sancov_cntrs;
    if (begin == nullptr || end <= begin) {
        work();
        return;
    }
    const auto size = static_cast<std::size_t>(end - begin);
    // A few kilobytes per module; kept between calls.
    static std::vector<std::uint8_t> kept;
    kept.assign(begin, end);
    work();
    std::memcpy(begin, kept.data(), size);
}

}  // namespace kel::fuzz
