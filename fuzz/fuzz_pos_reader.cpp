// Differential: the simdjson reader of positions against the jsoncpp view
// of the same bytes. Whatever the reader accepts, jsoncpp must accept too
// and answer the same, value for value and error for error.
#include "parsers/pos_impl.h"
#include "parsers/pos_reader.h"
#include "pos_answers.h"

#include "core/json.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static kel::libs::context_utils::parsers::pos_reader reader;
    const boost::string_view text(reinterpret_cast<const char*>(data), size);
    const auto* fields = reader.read(text);
    if (fields == nullptr)
        return 0;
    const auto parsed = kel::libs::core::json::try_parse(text);
    if (!parsed.ok) {
        std::fprintf(stderr, "simdjson read what jsoncpp refuses: %s\n", parsed.error.c_str());
        std::abort();
    }
    const kel::libs::context_utils::parsers::pos_impl reference(parsed.result);
    const auto fast = kel::test::pos_answers(*fields);
    const auto slow = kel::test::pos_answers(reference);
    if (fast != slow) {
        std::fprintf(stderr, "simdjson: %s\njsoncpp:  %s\n", fast.c_str(), slow.c_str());
        std::abort();
    }
    return 0;
}
