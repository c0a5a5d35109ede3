// "notify" messages through the context updater's subscription, its
// synchronizer and the library's notification dispatcher and views, into the
// service's handlers on a small site whose events generator is subscribed.
// One message per line; a line that starts with '$' or '#' is a "$pos" or
// "#pos" position instead, so that changes and movements interleave.
#include "support/engine_harness.h"
#include "support/message_lines.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kel::fuzz::engine_harness harness;
    harness.load();
    harness.check_invariants();
    kel::fuzz::for_each_message(data, size, "notify", 32, [&](boost::string_view topic, boost::string_view payload) {
        harness.deliver(topic, payload);
        harness.check_invariants();
    });
    return 0;
}
