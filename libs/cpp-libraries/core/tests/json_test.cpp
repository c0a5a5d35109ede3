#include "core/exception.h"
#include "core/json.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace json = kel::libs::core::json;

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

}  // namespace
