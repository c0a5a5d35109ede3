#include "core/exception.h"
#include "core/timestamp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

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

// Found by fuzzing: a position's "ts" with a year of ten digits made the
// count of milliseconds overflow (undefined behaviour). Numbers no
// broken-down time or count can take are refused instead.
// The fast path for plain digits and the general parse read these texts
// alike: where the fast path must step aside (signs, blanks, long runs,
// exponents, hex, cut texts) and where it reads them itself.
TEST(timestamp_parse, fast_path_agrees_with_the_general_parse) {
    const std::string nul_inside("2023-11-14T22:13:20\0.5", 23);
    const std::string long_text = "2023-11-14T22:13:20." + std::string(60, '5');
    for (const std::string& text : std::vector<std::string>{"2023-11-14T22:13:20", "2023-11-14T22:13:20.123Z", "2023-11-14 22:13:20.9995+02:00", "1-1-1T1:1:1",
          "2023-11-14T22:13:20.", "2023-11-14T22:13:20.5.5", "2023-11-14T22:13:2e1", "2023-11-14T22:13:0x1p3",
          "2023-11-14T22:13:20E", "2023-11-14T 22:13:20", "2023-11-14T+22:13:20", "+2023-11-14T22:13:20",
          "2023-11-1422:13:20", "0000000002023-11-14T22:13:20", "2023-11-14T22:13:99999999999999999999999999999999999999999",
          "2023-13-45T25:61:61.4", "2023-11-14T22:13:.5", "2023-11-14X22:13:20", nul_inside, long_text}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(timestamp::try_parse(text) == timestamp::try_parse_general(text));
    }
}

// Texts near the engines' shape, each with a fraction of none to five
// digits and a few bytes replaced, inserted or cut: the fast paths must
// read every one as the general parse does, or step aside.
TEST(timestamp_parse, fast_paths_agree_with_the_general_parse_on_mutated_texts) {
    std::mt19937 random(11);
    const std::string alphabet("0123456789-:.TZ eEpxX+\xff/\0", 25);
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    for (int i = 0; i < 50000; ++i) {
        std::string text = "2026-12-09T17:36:43";
        for (std::size_t k = 0; k < text.size(); ++k)
            if (text[k] >= '0' && text[k] <= '9')
                text[k] = static_cast<char>('0' + pick(10));
        const std::size_t fraction = pick(7);
        if (fraction > 0)
            text += '.';
        for (std::size_t k = 1; k < fraction; ++k)
            text += static_cast<char>('0' + pick(10));
        if (pick(2) == 0)
            text += 'Z';
        for (std::size_t edits = pick(3); edits > 0; --edits) {
            const std::size_t at = pick(text.size() + 1);
            switch (pick(3)) {
                case 0:
                    if (at < text.size())
                        text[at] = alphabet[pick(alphabet.size())];
                    break;
                case 1:
                    text.insert(at, 1, alphabet[pick(alphabet.size())]);
                    break;
                default:
                    text.resize(at);
            }
        }
        SCOPED_TRACE(text);
        ASSERT_TRUE(timestamp::try_parse(text) == timestamp::try_parse_general(text));
    }
}

TEST(timestamp_parse, refuses_fields_whose_time_overflows_the_count) {
    EXPECT_FALSE(timestamp::try_parse("2420224023-10-14P21:1:2="));
    EXPECT_FALSE(timestamp::try_parse("-2147483648-01-01T00:00:00Z"));
    EXPECT_FALSE(timestamp::try_parse("2023--2147483648-01T00:00:00Z"));
    EXPECT_FALSE(timestamp::try_parse("2023-11-14T22:13:1e30"));
    EXPECT_FALSE(timestamp::try_parse("2023-11-14T22:13:-1e30"));
    EXPECT_EQ(invalid_message("2420224023-10-14T21:01:02Z"), "timestamp: \"2420224023-10-14T21:01:02Z\" is invalid!");
}

TEST(timestamp_parse, keeps_far_but_representable_years) {
    EXPECT_EQ(parsed("9999-12-31T23:59:59.000Z"), 253402300799000);
    EXPECT_EQ(parsed("1969-12-31T23:59:59.000Z"), -1000);
    // A negative seconds field still carries its fraction as an unsigned
    // 32-bit count of milliseconds.
    EXPECT_EQ(parsed("1970-01-01T00:00:-0.5"), 4294966796);
}

TEST(timestamp_text, iso_forms) {
    const timestamp t(milliseconds(1700000000123));
    EXPECT_EQ(t.to_iso_8601(false, 'T', false), "2023-11-14T22:13:20");
    EXPECT_EQ(t.to_iso_8601(true, 'T', true), "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(t.to_iso_8601(true, ' ', false), "2023-11-14 22:13:20.123");
}

// Years of many digits (or before year 0) did not fit the 25 characters the
// date was written into, where strftime leaves the buffer undefined, and the
// delimiter replaced a digit of the month.
TEST(timestamp_text, far_years_are_written_whole) {
    const timestamp far(milliseconds(9000000000000000000));
    EXPECT_EQ(far.to_iso_8601(false, 'T', true), "285200616-07-24T16:00:00Z");
    const timestamp before(milliseconds(-9000000000000000000));
    EXPECT_EQ(before.to_iso_8601(false, 'T', false), "-285196677-06-10T08:00:00");
    EXPECT_FALSE(before.serialize().empty());
}

TEST(timestamp_text, serialize_pads_only_the_bracketed_milliseconds) {
    EXPECT_EQ(timestamp(milliseconds(1700000000123)).serialize(), "1700000000 123 [2023-11-14T22:13:20.123Z]");
    EXPECT_EQ(timestamp(milliseconds(1700000000005)).serialize(), "1700000000 5 [2023-11-14T22:13:20.005Z]");
    // Before 1970 the milliseconds are an unsigned count that wrapped.
    EXPECT_EQ(timestamp(milliseconds(-1)).serialize(), "0 4294967295 [1970-01-01T00:00:00.429496Z]");
    EXPECT_EQ(timestamp(milliseconds(-9000000000000000000)).serialize(),
              "-9000000000000000 0 [-285196677-06-10T08:00:00.000Z]");
}

// Dates of the years 1970 to 9999 are computed without the C library; the
// library's calendar is the reference for writing and reading them, at the
// ends of months and years, in leap years and at random instants.
std::string library_text(std::int64_t ms, char delimiter) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%d", &tm);
    char text[96];
    std::snprintf(text, sizeof text, "%s%c%02d:%02d:%02d.%03dZ", date, delimiter, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

TEST(timestamp_calendar, agrees_with_the_c_library_from_1970_to_9999) {
    std::vector<std::int64_t> instants{0, 999, 951782400000, 951868799999, 4107542400000, 4107456000000,
                                       253402300799999, 1700000000123};
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::int64_t> any_instant(0, 253402300799999);
    for (int i = 0; i < 20000; ++i)
        instants.push_back(any_instant(random));
    for (const std::int64_t ms : instants) {
        SCOPED_TRACE(ms);
        const timestamp t{milliseconds(ms)};
        const std::string expected = library_text(ms, 'T');
        ASSERT_EQ(t.to_iso_8601(true, 'T', true), expected);
        ASSERT_EQ(t.to_iso_8601(false, ' ', false), expected.substr(0, 19).replace(10, 1, " "));
        ASSERT_EQ(parsed(expected.c_str()), ms);
    }
}

// Fields beyond their month or minute are carried over as timegm does.
TEST(timestamp_calendar, reads_fields_past_their_range_as_timegm_does) {
    const auto timegm_of = [](int year, int month, int day, int hour, int minute, int second) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        return static_cast<std::int64_t>(timegm(&tm)) * 1000;
    };
    EXPECT_EQ(parsed("2023-04-31T00:00:00"), timegm_of(2023, 4, 31, 0, 0, 0));
    EXPECT_EQ(parsed("2023-02-31T23:59:60"), timegm_of(2023, 2, 31, 23, 59, 60));
    EXPECT_EQ(parsed("2100-02-29T12:00:00"), timegm_of(2100, 2, 29, 12, 0, 0));
    EXPECT_EQ(parsed("2024-12-31T23:59:60.5"), timegm_of(2024, 12, 31, 23, 59, 60) + 500);
    EXPECT_EQ(parsed("2023-00-10T00:00:00"), timegm_of(2023, 0, 10, 0, 0, 0));
    EXPECT_EQ(parsed("1969-12-31T23:59:59"), timegm_of(1969, 12, 31, 23, 59, 59));
}

}  // namespace
