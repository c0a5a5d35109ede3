#include "parser_utils.h"

#include <core/json.h>

#include <gtest/gtest.h>

#include <boost/optional/optional_io.hpp>

#include <stdexcept>
#include <string>

namespace {

namespace pu = kel::libs::context_utils::parser_utils;
using kel::libs::core::timestamp;

Json::Value json(const std::string& text) {
    return kel::libs::core::json::parse(text, KEL_SOURCE_LOCATION());
}

template <typename Read>
std::string error_of(Read read) {
    try {
        read();
    } catch (const std::logic_error& e) {
        return e.what();
    }
    return "no error";
}

Json::Value iso(const std::string& text) {
    Json::Value object;
    object["t"] = text;
    return object;
}

// Fractions are cut toward zero; numbers beyond an int are no numbers. The
// readers' texts for a wrong kind are read through the parsers' table.
TEST(parser_utils_test, numbers_are_cut_toward_zero_and_those_out_of_int_range_are_not_numbers) {
    const auto o = json(R"({"r":12.7,"n":-12.7,"big":3000000000,"huge":1e300,"neg":-2147483649})");
    EXPECT_EQ(pu::get_number(o, "r"), 12);
    EXPECT_EQ(pu::get_number(o, "n"), -12);
    EXPECT_EQ(error_of([&] { pu::get_number(o, "big"); }), R"(context-utils: "big" is not a number!)");
    EXPECT_EQ(error_of([&] { pu::get_int(o, "big"); }), R"(context-utils: "big" is not an int!)");
    EXPECT_FALSE(pu::try_get_number(o, "huge"));
    EXPECT_FALSE(pu::try_get_number(o, "neg"));
}

TEST(parser_utils_test, fixed_position_iso_text_gives_utc_milliseconds) {
    EXPECT_EQ(pu::get_iso8601_timestamp(iso("2023-11-14T22:13:20.123Z"), "t"), timestamp(1700000000, 123));
    EXPECT_EQ(pu::get_iso8601_timestamp(iso("2023-11-14 22:13:20.123+02"), "t"), timestamp(1700000000, 123))
        << "separators and zone designator are not checked";
}

TEST(parser_utils_test, fixed_position_iso_fraction_is_cut_to_milliseconds) {
    EXPECT_EQ(pu::get_iso8601_timestamp(iso("2023-11-14T22:13:20.123456Z"), "t"), timestamp(1700000000, 123));
    EXPECT_EQ(pu::get_iso8601_timestamp(iso("2023-11-14T22:13:20.5+00:00"), "t"), timestamp(1700000000, 500));
}

TEST(parser_utils_test, short_or_garbled_iso_text_is_rejected) {
    EXPECT_FALSE(pu::try_get_iso8601_timestamp(iso("2023-11-14T22:13:20Z"), "t"));
    EXPECT_FALSE(pu::try_get_iso8601_timestamp(iso("yyyy-mm-ddThh:mm:ss.fffZ"), "t"));
    EXPECT_FALSE(pu::try_get_iso8601_timestamp(json(R"({"t":1700000000})"), "t"));
    EXPECT_EQ(error_of([&] { pu::get_iso8601_timestamp(iso("2023-11-14T22:13:20Z"), "time", "entered.time"); }),
              R"(context-utils: failed to parse timestamp: "entered.time")");
}

}  // namespace
