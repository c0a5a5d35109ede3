#include "config_parser/result.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace kel::libs::config {
namespace {

TEST(result, value_of_an_error_throws_the_bad_access_error) {
    result<std::string> r = error_reason{"broken"};
    try {
        (void)r.value();
        FAIL() << "value() returned";
    } catch (const boost::bad_optional_access& e) {
        EXPECT_STREQ(e.what(), "Attempted to access the value of an uninitialized optional object.");
    }
    EXPECT_THROW((void)std::move(r).value(), boost::bad_optional_access);
}

TEST(result, two_ok_results_join_into_a_pair) {
    auto r = result<int>(1) + result<std::string>(std::string("a"));
    static_assert(std::is_same_v<decltype(r), result<std::tuple<int, std::string>>>);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value(), std::make_tuple(1, std::string("a")));
}

TEST(result, a_chain_gives_one_flat_tuple_in_chain_order) {
    auto r = result<int>(1) + result<bool>(true) + result<std::string>(std::string("c")) + result<int>(4);
    static_assert(std::is_same_v<decltype(r), result<std::tuple<int, bool, std::string, int>>>);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value(), std::make_tuple(1, true, std::string("c"), 4));
}

TEST(result, one_error_gives_its_own_reason_on_either_side) {
    auto left = result<int>(error_reason{"left"}) + result<int>(2);
    EXPECT_FALSE(left.ok());
    EXPECT_EQ(left.reason(), "left");
    auto right = result<int>(1) + result<int>(error_reason{"right"});
    EXPECT_FALSE(right.ok());
    EXPECT_EQ(right.reason(), "right");
}

TEST(result, errors_of_a_chain_are_listed_on_lines_in_chain_order) {
    auto r = result<int>(error_reason{"first"}) + result<int>(2) + result<int>(error_reason{"second"}) +
             result<int>(error_reason{"third"});
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.reason(), "first\nsecond\nthird");
}

}  // namespace
}  // namespace kel::libs::config
