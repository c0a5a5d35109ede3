// The direct event text against jsoncpp's writer of the same object: peers
// see the same bytes whichever path wrote them.
#include "event_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Mostly uid-like text, sometimes with a byte that jsoncpp escapes.
std::string random_text(std::mt19937& random) {
    static const std::string bytes =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -_./:{}[],\"\\\t\n\x01\x7f\xc3\xa9\xff";
    std::uniform_int_distribution<std::size_t> length(0, 30);
    std::uniform_int_distribution<std::size_t> plain(0, 62);
    std::uniform_int_distribution<std::size_t> any(0, bytes.size() - 1);
    const bool escaped = random() % 8 == 0;
    std::string text(length(random), 'x');
    for (auto& c : text)
        c = bytes[escaped ? any(random) : plain(random)];
    return text;
}

TEST(event_text, matches_jsoncpp_for_random_events) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::int32_t> coordinate(-2'000'000'000, 2'000'000'000);
    for (int i = 0; i < 20000; ++i) {
        const std::string texts[] = {random_text(random), random_text(random), random_text(random),
                                     random_text(random), random_text(random)};
        kel::event_fields e;
        e.action = i % 2 == 0 ? "enter" : "leave";
        e.ts = static_cast<std::int64_t>(random()) * (i % 3 == 0 ? -1 : 1);
        e.ms = static_cast<std::uint32_t>(random() % 1000);
        e.sublocation_uid = texts[0];
        e.obj_uid = texts[1];
        e.project_uid = texts[2];
        e.zone_uid = texts[3];
        e.zone_type_name = texts[4];
        if (i % 4 != 0)
            e.position = kel::context::point(coordinate(random), coordinate(random), coordinate(random));
        ASSERT_EQ(kel::event_text(e), kel::event_text_by_jsoncpp(e)) << "event " << i;
    }
}

TEST(event_text, extreme_numbers_and_empty_fields_match_jsoncpp) {
    kel::event_fields e;
    e.action = "leave";
    e.ts = INT64_MIN;
    e.ms = UINT32_MAX;
    e.position = kel::context::point(INT32_MIN, INT32_MAX, 0);
    EXPECT_EQ(kel::event_text(e), kel::event_text_by_jsoncpp(e));
    e.ts = INT64_MAX;
    e.position = boost::none;
    EXPECT_EQ(kel::event_text(e), kel::event_text_by_jsoncpp(e));
}

}  // namespace
