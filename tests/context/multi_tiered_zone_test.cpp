#include "context/multi_tiered_zone.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kel::context::multi_tiered_zone;

// The engine decides a group's tiers in this order.
TEST(multi_tiered_zone_test, keeps_each_zone_once_in_ascending_order_until_the_last_leaves) {
    multi_tiered_zone group("carrier", "outer");
    group.add_zone("inner");
    group.add_zone("outer");
    EXPECT_EQ((std::vector<std::string>{group.zones().begin(), group.zones().end()}),
              (std::vector<std::string>{"inner", "outer"}));
    group.remove_zone("unknown");
    group.remove_zone("inner");
    EXPECT_TRUE(group.has_zones());
    group.remove_zone("outer");
    EXPECT_FALSE(group.has_zones());
}

}  // namespace
