// The lenient timestamp parse of positions and server objects, over views
// that are not terminated (the input is exactly the fuzzer's bytes), and
// the text forms of whatever it accepts. The fast path for plain digits must
// accept exactly what the general parse accepts, with the same time.
#include "core/timestamp.h"

#include <cstddef>
#include <cstdlib>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const boost::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = kel::libs::core::timestamp::try_parse(text);
    if (parsed != kel::libs::core::timestamp::try_parse_general(text))
        std::abort();
    if (parsed) {
        parsed->to_iso_8601(true, 'T', true);
        parsed->serialize();
    }
    return 0;
}
