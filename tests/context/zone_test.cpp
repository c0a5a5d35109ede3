#include "context/zone.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kel::context::zone;

zone zone_of_type(const std::string& type_name) {
    return zone("z", boost::none, "project", std::string("floor"), boost::none, boost::none, true,
                zone::shape::POLYGON, type_name, false, {}, {});
}

TEST(zone_test, only_the_exact_type_name_keep_in_makes_a_keep_in_zone) {
    EXPECT_TRUE(zone_of_type("keep_in").is_keep_in());
    for (const char* other : {"Keep_in", "keep_in ", "keep-in", "", "restricted"})
        EXPECT_FALSE(zone_of_type(other).is_keep_in()) << other;
    zone renamed = zone_of_type("restricted");
    renamed.set_type_name("keep_in");
    EXPECT_TRUE(renamed.is_keep_in()) << "the flag moves with the type";
}

}  // namespace
