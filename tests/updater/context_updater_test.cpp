#include "updater/updater_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using kel::context::shape;
using kel::libs::core::timestamp;
using kel::test::answer;
using kel::test::object_json;
using kel::test::object_recipe;
using kel::test::text_of;
using kel::test::zone_json;
using kel::test::zone_recipe;
using strings = std::vector<std::string>;
using uid_set = std::set<std::string>;

// A circle carried by car1, which says it lies in a sublocation of its own.
zone_recipe buffer(const std::string& uid, int radius, const std::string& carrier = "car1") {
    auto zone = kel::test::carried_circle(uid, carrier, radius, "room");
    zone.sublocation = "sl09";
    return zone;
}

// The site: room zon1 in sl01, car1 (in sl02) carrying buf1 and buf2, and
// tag1 in sl01, member of grp1.
class context_updater_test : public kel::test::updater_fixture {
protected:
    std::vector<zone_recipe> site_zones() const { return {zone_recipe{"zon1"}, buffer("buf1", 300), buffer("buf2", 600)}; }
    std::vector<object_recipe> site_objects() const {
        return {object_recipe{"tag1", "sl01", 1, 2, {"grp1"}}, object_recipe{"car1", "sl02"}};
    }

    void start_site() {
        serve(site_zones(), site_objects());
        start();
    }

    // How many of `lines` contain `text`.
    static std::size_t count_logs(const strings& lines, const std::string& text) {
        return kel::test::log_capture::count(lines, text);
    }
};

// --- initial load -----------------------------------------------------------------

TEST_F(context_updater_test, initial_load_fills_zones_objects_and_multi_tiered_zones) {
    start_site();
    ASSERT_TRUE(zone("zon1") && zone("buf1") && object("tag1"));
    EXPECT_EQ(zone("zon1")->get_shape(), shape::POLYGON);
    EXPECT_EQ(zone("zon1")->get_points()->size(), 3u);
    EXPECT_EQ(zone("buf1")->get_shape(), shape::CIRCLE);
    EXPECT_EQ(zone("buf1")->get_radius().value_or(0), 300);
    EXPECT_EQ(text_of(zone("buf1")->get_sublocation_uid()), "sl02");
    EXPECT_EQ(tiers("car1"), (uid_set{"buf1", "buf2"}));
    EXPECT_EQ(text_of(object("tag1")->get_position()), "1,2,0");
    EXPECT_EQ(object("tag1")->get_groups(), uid_set{"grp1"});
    EXPECT_TRUE(object("tag1")->get_associated() && object("tag1")->get_responsive());
}

// --- positions --------------------------------------------------------------------

// A position in the older form takes its split time, and a missing
// sublocation as empty.
TEST_F(context_updater_test, a_position_moves_the_object_after_its_carried_zones_follow_it) {
    start_site();
    pos("car1", 40, 50, "sl03");
    settle();
    EXPECT_EQ(text_of(object("car1")->get_position()), "40,50,0");
    EXPECT_EQ(changes(), (strings{"zone buf1 updated sl03", "zone buf2 updated sl03", "object car1 updated sl03"}));
    publish("#pos", R"({"dev_id":"car1","x":5,"y":6,"z":7,"ts":1700000200,"ms":250})");
    settle();
    EXPECT_EQ(text_of(object("car1")->get_position()), "5,6,7");
    EXPECT_EQ(changes(), (strings{"zone buf1 updated ", "zone buf2 updated ", "object car1 updated "}));
    EXPECT_EQ(m_observer.m_last_object_time, timestamp(1700000200, 250));
}

// Each unreadable message is logged once; the next one is applied.
TEST_F(context_updater_test, messages_that_cannot_be_read_are_logged_and_later_ones_applied) {
    start_site();
    publish("$pos", "{not json");
    publish("$pos", R"({"tk_uid":"tag1","ts":"2023-11-14T22:15:00.000Z","data":{"x":"12","y":1,"z":0}})");
    publish("#pos", R"({"dev_id":"tag1","x":"east"})");
    pos("tag1", 70, 80, "sl01");
    settle();
    auto logs = new_logs();
    EXPECT_EQ(logs.size(), 3u);
    EXPECT_EQ(count_logs(logs, "parse_error"), 1u);
    EXPECT_EQ(count_logs(logs, "data.x is not a number!"), 1u);
    EXPECT_EQ(text_of(object("tag1")->get_position()), "70,80,0");

    notify("ZONE", "deleted", Json::Value(Json::objectValue));
    publish("#notify", R"({"object":5,"action":"created"})");
    publish("#notify", "{\"object\":");
    notify("TRACKABLE_OBJECT", "deleted", object_json({"tag1"}));
    settle();
    logs = new_logs();
    EXPECT_EQ(logs.size(), 3u);
    EXPECT_EQ(count_logs(logs, "parse_error"), 1u);
    EXPECT_EQ(count_logs(logs, "\"uid\" is not a string!"), 1u);
    EXPECT_EQ(count_logs(logs, "\"object\" is not a string!"), 1u);
    EXPECT_FALSE(object("tag1"));
}

// --- zones ------------------------------------------------------------------------

TEST_F(context_updater_test, zone_notifications_create_update_and_delete_zones) {
    start_site();
    zone_recipe lab{"zon3", "sl05"};
    notify("zone", "Created", zone_json(lab));
    lab.type = "keep_in";
    lab.exceptions = {"tag1"};
    lab.points = {{0, 0}, {5, 0}, {5, 5}, {0, 5}};
    lab.sublocation = "sl06";
    notify("ZONE", "updated", zone_json(lab));
    notify("ZONE", "deleted", zone_json(zone_recipe{"zon1"}));
    settle();
    ASSERT_TRUE(zone("zon3"));
    EXPECT_TRUE(zone("zon3")->is_keep_in());
    EXPECT_EQ(zone("zon3")->get_exceptions(), uid_set{"tag1"});
    EXPECT_EQ(zone("zon3")->get_points()->size(), 4u);
    EXPECT_FALSE(zone("zon1"));
    // An update never applies the zone's own sublocation.
    EXPECT_EQ(changes(), (strings{"zone zon3 created sl05", "zone zon3 updated sl05", "zone zon1 deleted sl01"}));
}

// Each position takes along the zones its object carries at that moment:
// none before it carries one, none after the zone went. A "created"
// notification for a zone that exists leaves the stored zone as it is, and
// must not list it in the tiers of the carrier it names.
TEST_F(context_updater_test, a_zone_changing_carrier_moves_to_the_new_carriers_tiers) {
    start_site();
    pos("tag1", 1, 1, "sl03");
    notify("ZONE", "created", zone_json(buffer("buf1", 300, "tag1")));
    settle();
    EXPECT_EQ(text_of(zone("buf1")->get_trackable_object_uid()), "car1");
    EXPECT_EQ(tiers("car1"), (uid_set{"buf1", "buf2"}));
    EXPECT_FALSE(m_context.get_multi_tiered_zones().is_exists("tag1"));
    changes();
    notify("ZONE", "updated", zone_json(buffer("buf1", 300, "tag1")));
    settle();
    EXPECT_EQ(tiers("car1"), uid_set{"buf2"});
    EXPECT_EQ(tiers("tag1"), uid_set{"buf1"});
    EXPECT_EQ(text_of(zone("buf1")->get_sublocation_uid()), "sl03");
    changes();
    pos("tag1", 2, 2, "sl04");
    pos("car1", 3, 3, "sl04");
    settle();
    EXPECT_EQ(changes(), (strings{"zone buf1 updated sl04", "object tag1 updated sl04", "zone buf2 updated sl04",
                                  "object car1 updated sl04"}));
    notify("ZONE", "deleted", zone_json(buffer("buf1", 300, "tag1")));
    settle();
    EXPECT_FALSE(m_context.get_multi_tiered_zones().is_exists("tag1"));
    changes();
    pos("tag1", 4, 4, "sl05");
    settle();
    EXPECT_EQ(changes(), strings{"object tag1 updated sl05"});
}

// Found by fuzzing: the zone joined the new carrier's tiers before its
// fields were applied; a malformed field then left the zone carried by its
// old carrier but listed only in the new one's tiers.
TEST_F(context_updater_test, a_carrier_change_stopped_by_a_malformed_field_keeps_the_tiers_in_step) {
    start_site();
    auto broken = zone_json(buffer("buf1", 500, "tag1"));
    broken.removeMember("project_uid");
    notify("ZONE", "updated", broken);
    settle();
    EXPECT_EQ(count_logs(new_logs(), "\"project_uid\" is not a string!"), 1u);
    EXPECT_EQ(text_of(zone("buf1")->get_trackable_object_uid()), "car1");
    EXPECT_EQ(tiers("car1"), (uid_set{"buf1", "buf2"}));
    EXPECT_EQ(tiers("tag1"), uid_set{});

    // Stopped after the carrier was applied: the zone moved, and so did it
    // in the tiers.
    broken = zone_json(buffer("buf2", 700, "tag1"));
    broken.removeMember("active");
    notify("ZONE", "updated", broken);
    settle();
    EXPECT_EQ(count_logs(new_logs(), "\"active\" is not a bool!"), 1u);
    EXPECT_EQ(text_of(zone("buf2")->get_trackable_object_uid()), "tag1");
    EXPECT_EQ(tiers("car1"), uid_set{"buf1"});
    EXPECT_EQ(tiers("tag1"), uid_set{"buf2"});
}

// Found by fuzzing: "zon1!" decodes like "zon1" (decoding stops at "!"), so
// both zones keyed the same records; the events generator then used a
// record that evaluating the other zone had erased. Such a zone is refused.
TEST_F(context_updater_test, a_zone_or_an_object_whose_uid_decodes_like_a_stored_ones_is_refused) {
    zone_recipe alike{"zon1!", "sl02"};
    serve({zone_recipe{"zon1"}, alike}, site_objects());
    start();
    EXPECT_TRUE(zone("zon1"));
    EXPECT_FALSE(zone("zon1!"));
    EXPECT_TRUE(logged("zone zon1! refused: its uid decodes like the uid of zone zon1"));

    notify("ZONE", "created", zone_json(zone_recipe{"zon1_"}));
    notify("ZONE", "updated", zone_json(zone_recipe{"zon1="}));
    notify("ZONE", "created", zone_json(zone_recipe{"zon2"}));
    settle();
    const auto logs = new_logs();
    for (const std::string uid : {"zon1_", "zon1="}) {
        EXPECT_FALSE(zone(uid));
        EXPECT_EQ(count_logs(logs, "zone " + uid + " refused"), 1u);
    }
    EXPECT_TRUE(zone("zon2"));
    // The stored zone itself is updated as usual.
    zone_recipe moved{"zon1"};
    moved.type = "keep_in";
    notify("ZONE", "updated", zone_json(moved));
    settle();
    EXPECT_TRUE(zone("zon1")->is_keep_in());

    // "tag1x" decodes like "tag1" (the sixth bits of "x" make no whole
    // byte): both would key the same records, and the events of one would
    // be taken for the other's. The second is refused until the first is
    // deleted.
    notify("TRACKABLE_OBJECT", "created", object_json({"tag1x"}));
    settle();
    EXPECT_FALSE(object("tag1x"));
    EXPECT_EQ(count_logs(new_logs(), "trackable object tag1x refused: its uid decodes like the uid of trackable "
                                     "object tag1"),
              1u);
    notify("TRACKABLE_OBJECT", "deleted", object_json({"tag1"}));
    notify("TRACKABLE_OBJECT", "created", object_json({"tag1x"}));
    settle();
    EXPECT_FALSE(object("tag1"));
    EXPECT_TRUE(object("tag1x"));
    EXPECT_EQ(new_logs(), strings{});
}

// --- trackable objects, groups, associations -------------------------------------------

TEST_F(context_updater_test, object_notifications_create_update_and_delete_objects) {
    start_site();
    notify("TRACKABLE_OBJECT", "created", object_json({"tag3", "sl01", 7, 8, {"grp1"}}));
    auto update = object_json({"tag3", ""});
    update["groups"].append("grp2");
    update["node"].removeMember("mac_address");
    notify("TRACKABLE_OBJECT", "updated", update);
    settle();
    ASSERT_TRUE(object("tag3"));
    EXPECT_EQ(text_of(object("tag3")->get_position()), "7,8,0");
    EXPECT_EQ(text_of(object("tag3")->get_last_position()), "7,8,0");
    EXPECT_EQ(object("tag3")->get_groups(), uid_set{"grp2"});
    EXPECT_FALSE(object("tag3")->get_associated());
    notify("TRACKABLE_OBJECT", "deleted", object_json({"tag3"}));
    settle();
    EXPECT_FALSE(object("tag3"));
}

TEST_F(context_updater_test, groups_and_associations_change_memberships_and_the_tag_link) {
    start_site();
    Json::Value groups;
    groups["grp7"]["action"] = "ADD_GROUP";
    groups["grp7"]["trackableObject"] = "tag1";
    groups["grp1"]["action"] = "REMOVE_GROUP";
    groups["grp1"]["trackableObject"] = "tag1";
    groups["grp8"]["action"] = "ADD_GROUP";
    groups["grp8"]["trackableObject"] = "nobo";
    notify("TRACKABLE_OBJECT_GROUPS", "updated", groups);
    Json::Value association;
    association["trob_uid"] = "tag1";
    association["removed_at"] = "2023-11-15T22:13:20.123Z";
    notify("TRACKABLE_OBJECT_ASSOCIATION", "updated", association);
    settle();
    EXPECT_EQ(object("tag1")->get_groups(), uid_set{"grp7"});
    EXPECT_FALSE(object("tag1")->get_associated());
    association["removed_at"] = "9999-12-31T23:59:59.000Z";
    notify("TRACKABLE_OBJECT_ASSOCIATION", "created", association);
    settle();
    EXPECT_TRUE(object("tag1")->get_associated());
}

// --- trackable objects in zones at start ------------------------------------------------

TEST_F(context_updater_test, start_takes_the_enter_events_the_server_reports_as_generated) {
    zone_recipe room{"zon1"};
    room.trackables = {"tag1", "tag2"};
    zone_recipe nowhere{"zon2", ""};
    nowhere.trackables = {"tag1"};
    zone_recipe carried = buffer("buf1", 300);
    carried.sublocation.clear();
    carried.trackables = {"tag1"};
    serve({room, nowhere, carried}, site_objects());
    start();
    EXPECT_EQ(m_recording.m_calls, (strings{"save tag1-zon1 E", "check tag1-zon1", "save tag2-zon1 E",
                                            "check tag2-zon1", "save tag1-buf1 E", "check tag1-buf1"}));
    ASSERT_TRUE(record("tag1", "buf1"));
    EXPECT_EQ(record("tag1", "buf1")->get_sublocation_uid(), "sl02");
}

// --- re-synchronization ----------------------------------------------------------------------

TEST_F(context_updater_test, resynchronization_applies_what_changed_and_removes_what_is_gone) {
    zone_recipe room{"zon1"};
    room.trackables = {"tag2"};
    zone_recipe changed = room;
    changed.type = "keep_in";
    changed.trackables = {"tag1"};
    const object_recipe tag2{"tag2"};
    serve_changing({room, zone_recipe{"zon2"}}, {site_objects()[0], tag2}, {changed}, {site_objects()[0]});
    // As the events generator leaves it for an object inside without an
    // enter event yet.
    add_record("tag1", "zon1");
    start(50ms);
    run_until([this] { return !zone("zon2") && zone("zon1")->is_keep_in() && !object("tag2"); });
    new_logs();
    EXPECT_TRUE(logged("Context synchronization: removing zone zon2 (not on server)"));
    EXPECT_TRUE(logged("Context synchronization: removing trackable object tag2 (not on server)"));
    EXPECT_TRUE(logged("Context synchronization complete"));
    // At start tag2 is listed; then tag1 is, and its record is saved with
    // the enter event, while tag2's enter event is forgotten in memory only.
    EXPECT_EQ(m_recording.m_calls,
              (strings{"save tag2-zon1 E", "check tag2-zon1", "save tag1-zon1 E", "check tag1-zon1"}));
    EXPECT_FALSE(record("tag2", "zon1")->is_event_generated());
}

TEST_F(context_updater_test, a_failed_zones_request_ends_that_resynchronization) {
    serve(site_zones(), site_objects());
    m_server->serve_after("/api/private/zones/", 2, answer(200, kel::test::zones_answer(site_zones())),
                         answer(500, "down"));
    start(50ms);
    run_until([this] { return logged("Context synchronization: failed to get zones from server"); });
    EXPECT_EQ(m_server->count("/api/private/track_obj/"), 1u);
    EXPECT_TRUE(zone("zon1"));
}

}  // namespace
