#include "context/zone.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

namespace {

using kel::context::zone;

static_assert(!std::is_copy_constructible<zone>::value && !std::is_copy_assignable<zone>::value,
              "zones are moved into their store, never copied");
static_assert(std::is_move_constructible<zone>::value && std::is_move_assignable<zone>::value,
              "zones are moved into their store");

zone zone_of_type(const std::string& type_name) {
    return zone("z", boost::none, "project", std::string("floor"), boost::none, boost::none, true,
                zone::shape::POLYGON, type_name, false, {}, {});
}

TEST(zone_test, only_the_exact_type_name_keep_in_makes_a_keep_in_zone) {
    EXPECT_TRUE(zone_of_type("keep_in").is_keep_in());
    for (const char* other : {"Keep_in", "keep_in ", "keep-in", "", "restricted"})
        EXPECT_FALSE(zone_of_type(other).is_keep_in()) << other;
}

TEST(zone_test, renaming_the_type_moves_the_keep_in_flag_with_it) {
    zone z = zone_of_type("restricted");
    z.set_type_name("keep_in");
    EXPECT_TRUE(z.is_keep_in());
    z.set_type_name("KEEP_IN");
    EXPECT_FALSE(z.is_keep_in());
    EXPECT_EQ(z.get_type_name(), "KEEP_IN");
}

TEST(zone_test, optional_texts_are_seen_and_cleared_through_their_accessors) {
    zone z = zone_of_type("restricted");
    EXPECT_EQ(*z.get_sublocation_uid(), "floor");
    EXPECT_FALSE(z.get_trackable_object_uid());
    z.set_trackable_object_uid(std::string("carrier"));
    z.set_sublocation_uid(boost::none);
    EXPECT_EQ(*z.get_trackable_object_uid(), "carrier");
    EXPECT_FALSE(z.get_sublocation_uid());
}

}  // namespace
