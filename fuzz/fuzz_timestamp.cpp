// The lenient timestamp parse of positions and server objects, over views
// that are not terminated (the input is exactly the fuzzer's bytes), and
// the text forms of whatever it accepts.
#include "core/timestamp.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const boost::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = kel::libs::core::timestamp::try_parse(text);
    if (parsed) {
        parsed->to_iso_8601(true, 'T', true);
        parsed->serialize();
    }
    return 0;
}
