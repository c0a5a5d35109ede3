#include "tag_route.h"

#include "support/site.h"

#include "core/json.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using kel::site::tag_route;

using kel::test::json;

// A square of side 1000 walked at 1000 units per second, with a 2 s stop at
// its second corner.
tag_route square() {
    return tag_route::from_json(json(R"({"trackable_object_uid": "T", "speed": 1000, "z": 7,
        "path": [[0, 0], [1000, 0, 2], [1000, 1000], [0, 1000]]})"));
}

void expect_at(const tag_route& route, std::chrono::milliseconds t, int x, int y) {
    const auto p = route.position_at(t);
    EXPECT_EQ(p.x, x) << "at " << t.count() << " ms";
    EXPECT_EQ(p.y, y) << "at " << t.count() << " ms";
}

TEST(tag_route, starts_at_its_first_waypoint_with_its_height) {
    const auto p = square().position_at(0ms);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    EXPECT_EQ(p.z, 7);
}

TEST(tag_route, walks_the_legs_at_its_speed_and_stays_where_it_dwells) {
    const tag_route route = square();
    expect_at(route, 500ms, 500, 0);
    expect_at(route, 1000ms, 1000, 0);
    expect_at(route, 2500ms, 1000, 0);
    expect_at(route, 3500ms, 1000, 500);
    expect_at(route, 4500ms, 500, 1000);
}

TEST(tag_route, random_walk_stays_in_its_rectangle_and_repeats_with_its_seed) {
    const auto walk = json(R"({"trackable_object_uid": "T", "speed": 800,
        "random_walk": {"min": [100, 200], "max": [900, 600], "points": 8, "seed": 3}})");
    const auto one = tag_route::from_json(walk);
    const auto two = tag_route::from_json(walk);
    for (auto t = 0ms; t < 60s; t += 250ms) {
        const auto p = one.position_at(t);
        ASSERT_GE(p.x, 100);
        ASSERT_LE(p.x, 900);
        ASSERT_GE(p.y, 200);
        ASSERT_LE(p.y, 600);
        ASSERT_EQ(p.x, two.position_at(t).x);
        ASSERT_EQ(p.y, two.position_at(t).y);
    }
}

}  // namespace
