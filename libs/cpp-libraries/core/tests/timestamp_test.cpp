#include "core/exception.h"
#include "core/timestamp.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using kel::libs::core::timestamp;
using std::chrono::milliseconds;

std::int64_t parsed(const char* text) {
    auto t = timestamp::try_parse(text);
    EXPECT_TRUE(t) << text;
    return t ? t->get_time_since_epoch().count() : -1;
}

std::string invalid_message(const char* text) {
    try {
        timestamp t{boost::string_view(text)};
        return "no exception";
    } catch (const kel::libs::core::exception& e) {
        return e.get_string_error();
    }
}

TEST(timestamp_parse, reads_iso_text_with_any_delimiter_as_utc) {
    EXPECT_EQ(parsed("2023-11-14T22:13:20.123Z"), 1700000000123);
    EXPECT_EQ(parsed("2023-11-14 22:13:20.123"), 1700000000123);
    EXPECT_EQ(parsed("2023-11-14x22:13:20.123"), 1700000000123);
}

TEST(timestamp_parse, fraction_is_optional_and_rounded_to_milliseconds) {
    EXPECT_EQ(parsed("2023-11-14T22:13:20Z"), 1700000000000);
    EXPECT_EQ(parsed("2023-11-14T22:13:20.5"), 1700000000500);
    EXPECT_EQ(parsed("2023-11-14T22:13:20.0004"), 1700000000000);
    EXPECT_EQ(parsed("2023-11-14T22:13:20.9996Z"), 1700000001000);
}

TEST(timestamp_parse, ignores_offset_and_trailing_text) {
    EXPECT_EQ(parsed("2023-11-14T22:13:20.123+02:00"), 1700000000123);
    EXPECT_EQ(parsed("2023-11-14T22:13:20.123 and more"), 1700000000123);
}

TEST(timestamp_parse, normalises_out_of_range_fields_like_timegm) {
    EXPECT_EQ(parsed("2023-11-14T22:13:80Z"), 1700000060000);
    EXPECT_EQ(parsed("2023-02-29T00:00:00Z"), parsed("2023-03-01T00:00:00Z"));
}

TEST(timestamp_parse, rejects_incomplete_text) {
    EXPECT_FALSE(timestamp::try_parse("2023-11-14T22:13"));
    EXPECT_FALSE(timestamp::try_parse(""));
    EXPECT_FALSE(timestamp::try_parse("not a time"));
    EXPECT_FALSE(timestamp::try_parse("2023-11-14T22:13:nan"));
}

TEST(timestamp_parse, is_bounded_by_the_view_not_the_terminator) {
    const std::string text = "2023-11-14T22:13:20.123";
    EXPECT_FALSE(timestamp::try_parse(boost::string_view(text.data(), 16)));
    EXPECT_EQ(timestamp::try_parse(boost::string_view(text.data(), 19))->get_time_since_epoch().count(),
              1700000000000);
}

TEST(timestamp_parse, string_constructor_throws_with_the_text) {
    EXPECT_EQ(invalid_message("2023-11-14T22:13"), "timestamp: \"2023-11-14T22:13\" is invalid!");
    EXPECT_EQ(invalid_message(""), "timestamp: \"\" is invalid!");
}

TEST(timestamp_text, iso_forms) {
    const timestamp t(milliseconds(1700000000123));
    EXPECT_EQ(t.to_iso_8601(false, 'T', false), "2023-11-14T22:13:20");
    EXPECT_EQ(t.to_iso_8601(true, 'T', true), "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(t.to_iso_8601(true, ' ', false), "2023-11-14 22:13:20.123");
}

TEST(timestamp_text, serialize_pads_only_the_bracketed_milliseconds) {
    EXPECT_EQ(timestamp(milliseconds(1700000000123)).serialize(), "1700000000 123 [2023-11-14T22:13:20.123Z]");
    EXPECT_EQ(timestamp(milliseconds(1700000000005)).serialize(), "1700000000 5 [2023-11-14T22:13:20.005Z]");
}

TEST(timestamp_value, milliseconds_carry_into_seconds) {
    EXPECT_EQ(timestamp(1700000000, 1500), timestamp(1700000001, 500));
    const timestamp t(86400, 123);
    EXPECT_EQ(t.get_ts(), 86400);
    EXPECT_EQ(t.get_ms(), 123u);
}

TEST(timestamp_value, arithmetic_and_ordering) {
    const timestamp a(milliseconds(1000));
    const timestamp b = a + milliseconds(250);
    EXPECT_EQ(b - a, milliseconds(250));
    EXPECT_LT(a, b);
    EXPECT_EQ(b - milliseconds(250), a);
    EXPECT_EQ(timestamp().get_time_since_epoch().count(), 0);
}

TEST(timestamp_value, current_time_is_wall_clock) {
    const auto now = std::chrono::duration_cast<milliseconds>(std::chrono::system_clock::now().time_since_epoch());
    EXPECT_LE(std::abs((timestamp::current_time().get_time_since_epoch() - now).count()), 1000);
}

}  // namespace
