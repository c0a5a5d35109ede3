#include "site_objects.h"

#include "support/site.h"

#include "core/json.h"

#include <gtest/gtest.h>

namespace {

using kel::site::site_objects;

using kel::test::json;

Json::Value zones(const std::string& first_uid, const std::string& second_uid) {
    return json(R"({"zones": [{"uid": ")" + first_uid + R"(", "name": "A"},
                              {"uid": ")" + second_uid + R"(", "name": "B"}]})");
}

TEST(site_objects, refuses_a_uid_that_is_not_22_base64_characters) {
    EXPECT_THROW(site_objects(zones("ZoneA0000000000000000", "ZoneB00000000000000000")), std::runtime_error);
    EXPECT_THROW(site_objects(zones("ZoneA00000000000000.00", "ZoneB00000000000000000")), std::runtime_error);
}

TEST(site_objects, refuses_uids_that_differ_only_where_the_service_does_not_look) {
    // The low four bits of the 22nd character are dropped by the service.
    EXPECT_THROW(site_objects(zones("ZoneA0000000000000000A", "ZoneA0000000000000000B")), std::runtime_error);
    EXPECT_NO_THROW(site_objects(zones("ZoneA0000000000000000A", "ZoneA0000000000000001A")));
}

TEST(site_objects, an_enter_puts_the_object_into_the_zone_and_a_leave_takes_it_out) {
    site_objects objects(zones("ZoneA00000000000000000", "ZoneB00000000000000000"));
    objects.record_event(json(R"({"action": "enter", "obj_uid": "TagAlice00000000000000",
        "zone_uid": "ZoneA00000000000000000", "ts": 1700000000, "ms": 123, "x": 1, "y": 2, "z": 3})"));
    const Json::Value& inside = (*objects.zone("ZoneA00000000000000000"))["trackables_in_zone"];
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0]["uid"], "TagAlice00000000000000");
    EXPECT_EQ(inside[0]["entered"]["time"], "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(inside[0]["entered"]["x"], 1);

    objects.record_event(json(R"({"action": "leave", "obj_uid": "TagAlice00000000000000",
        "zone_uid": "ZoneA00000000000000000", "ts": 1700000001, "ms": 0})"));
    EXPECT_TRUE((*objects.zone("ZoneA00000000000000000"))["trackables_in_zone"].empty());
}

}  // namespace
