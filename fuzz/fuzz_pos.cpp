// "$pos" and "#pos" messages through the context updater's subscriptions
// (the synchronizer's position view, the older format's reader) into a small
// site whose events generator is subscribed, so that every position reaches
// the zones index and the decisions. One message per line: a line that
// starts with '#' is a "#pos" payload, any other a "$pos" payload (a leading
// '$' is dropped). The site is loaded once and reset between inputs.
#include "support/reused_engine.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static kel::fuzz::reused_engine engine("$pos", 64);
    engine.run(data, size);
    return 0;
}
