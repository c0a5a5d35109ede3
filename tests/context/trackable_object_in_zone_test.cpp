#include "context/trackable_object_in_zone.h"

#include "context/trackable_object.h"
#include "context/zone.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kel::parse_uid;
using kel::context::trackable_object_in_zone;
using kel::context::trackable_object_in_zone_uid;

// 22-character uids that decode to different words.
const std::string uid_a = "AAAAAAAAAAAAAAAAAAAAAA";
const std::string uid_b = "BBBBBBBBBBBBBBBBBBBBBB";

// a-in-b and b-in-a must not share a record.
TEST(trackable_object_in_zone_test, key_is_the_object_words_then_the_zone_words) {
    const kel::context::trackable_object object(uid_a, parse_uid(uid_a), "project", true, true, boost::none,
                                                boost::none, {});
    const kel::context::zone zone(uid_b, boost::none, "project", boost::none, boost::none, boost::none, true,
                                  kel::context::zone::shape::POLYGON, "restricted", false, {}, {});
    const auto key = trackable_object_in_zone::make_uid(object, zone);
    const auto a = parse_uid(uid_a);
    const auto b = parse_uid(uid_b);
    EXPECT_EQ(key, (trackable_object_in_zone_uid{a[0], a[1], b[0], b[1]}));
    EXPECT_EQ(key, trackable_object_in_zone::make_uid(a, uid_b));
}

}  // namespace
