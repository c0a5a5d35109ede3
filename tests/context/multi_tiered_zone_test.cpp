#include "context/multi_tiered_zone.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

using kel::context::multi_tiered_zone;

static_assert(!std::is_copy_constructible<multi_tiered_zone>::value, "multi-tiered zones are never copied");

std::vector<std::string> members(const multi_tiered_zone& group) {
    return {group.zones().begin(), group.zones().end()};
}

TEST(multi_tiered_zone_test, starts_with_exactly_its_first_zone) {
    const multi_tiered_zone group("carrier", "inner");
    EXPECT_EQ(group.get_uid(), "carrier");
    EXPECT_EQ(members(group), std::vector<std::string>{"inner"});
    EXPECT_TRUE(group.has_zone("inner"));
}

TEST(multi_tiered_zone_test, keeps_each_zone_once_in_ascending_order) {
    multi_tiered_zone group("carrier", "outer");
    group.add_zone("inner");
    group.add_zone("outer");
    EXPECT_EQ(members(group), (std::vector<std::string>{"inner", "outer"}));
}

TEST(multi_tiered_zone_test, removing_the_last_zone_leaves_it_empty_and_absent_zones_are_ignored) {
    multi_tiered_zone group("carrier", "inner");
    group.remove_zone("unknown");
    EXPECT_TRUE(group.has_zones());
    group.remove_zone("inner");
    EXPECT_FALSE(group.has_zones());
    EXPECT_FALSE(group.has_zone("inner"));
}

}  // namespace
