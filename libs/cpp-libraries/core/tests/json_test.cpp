#include "core/exception.h"
#include "core/json.h"
#include "core/scope_guard.h"
#include "core/stl.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <unordered_map>

namespace {

namespace json = kel::libs::core::json;

TEST(json_helpers, try_parse_reports_bad_input_without_throwing) {
    const auto r = json::try_parse("{");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.result.isNull());
    EXPECT_FALSE(r.error.empty());
}

TEST(json_helpers, parse_throws_with_the_readers_error) {
    try {
        json::parse("{", KEL_SOURCE_LOCATION());
        FAIL();
    } catch (const kel::libs::core::exception& e) {
        EXPECT_EQ(e.get_string_error().rfind("parse error: ", 0), 0u);
    }
}

TEST(json_helpers, parses_only_the_bytes_of_the_view) {
    const std::string text = R"({"a":1}garbage)";
    const auto r = json::try_parse(boost::string_view(text.data(), 7));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.result["a"].asInt(), 1);
    EXPECT_TRUE(r.error.empty());
}

TEST(json_helpers, string_view_covers_embedded_zero_bytes) {
    const Json::Value v(std::string("a\0b", 3));
    EXPECT_EQ(json::as_string_view(v).size(), 3u);
}

TEST(lookup, finds_by_reference_and_reports_absence) {
    std::map<std::string, int, std::less<>> m;
    EXPECT_FALSE(kel::libs::core::lookup(m, std::string("x")));
    m["x"] = 1;
    *kel::libs::core::lookup(m, boost::string_view("x")) = 5;
    EXPECT_EQ(m["x"], 5);

    const std::unordered_map<int, std::string> cm{{1, "one"}};
    const auto found = kel::libs::core::lookup(cm, 1);
    static_assert(std::is_same_v<decltype(found), const boost::optional<const std::string&>>);
    EXPECT_EQ(*found, "one");
}

TEST(scope_guard, runs_once_when_the_moved_guard_dies) {
    int calls = 0;
    {
        auto guard = kel::libs::core::execute_on_scope_exit([&] { ++calls; });
        auto moved = std::move(guard);
        guard.reset();
        EXPECT_EQ(calls, 0);
    }
    EXPECT_EQ(calls, 1);
}

}  // namespace
