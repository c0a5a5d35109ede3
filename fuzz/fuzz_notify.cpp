// "notify" messages through the context updater's subscription, its
// synchronizer and the library's notification dispatcher and views, into the
// service's handlers on a small site whose events generator is subscribed.
// One message per line; a line that starts with '$' or '#' is a "$pos" or
// "#pos" position instead, so that changes and movements interleave. The
// site is loaded once and reset between inputs.
#include "support/reused_engine.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static kel::fuzz::reused_engine engine("notify", 32);
    engine.run(data, size);
    return 0;
}
