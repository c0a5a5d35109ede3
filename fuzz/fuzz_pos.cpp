// "$pos" and "#pos" messages through the context updater's subscriptions
// (the synchronizer's position view, the older format's reader) into a small
// site whose events generator is subscribed, so that every position reaches
// the zones index and the decisions. One message per line: a line that
// starts with '#' is a "#pos" payload, any other a "$pos" payload (a leading
// '$' is dropped).
#include "support/engine_harness.h"
#include "support/message_lines.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kel::fuzz::engine_harness harness;
    harness.load();
    harness.check_invariants();
    kel::fuzz::for_each_message(data, size, "$pos", 64, [&](boost::string_view topic, boost::string_view payload) {
        harness.deliver(topic, payload);
        harness.check_invariants();
    });
    return 0;
}
