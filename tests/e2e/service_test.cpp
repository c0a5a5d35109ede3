// The whole service end to end: the real binary against a real Redis, a real
// HTTP server and real ZeroMQ sockets on loopback.
#include "e2e/service_fixture.h"

#include "support/wait.h"

#include <gtest/gtest.h>

#include <signal.h>

namespace {

using namespace std::chrono_literals;

class service_test : public ::testing::Test, public kel::test::service_fixture {
protected:
    std::string next() { return summary(next_event()); }
    // The tag moves its whole footprint into the room (two positions) so
    // that its membership settles.
    void walk_in(const std::string& tag, int x, int y) {
        position(tag, x, y);
        position(tag, x + 10, y);
    }
};

TEST_F(service_test, walking_into_and_out_of_a_room_sends_enter_then_leave) {
    add_room("room", 0, 0, 10000, 10000);
    add_tag("tagA");
    serve_site();
    start();
    position("tagA", 5000, 4000, "sl01", "2026-12-06T10:00:00.250Z");
    EXPECT_EQ(next_event(),
              "#zone_event {\"action\":\"enter\",\"ms\":250,\"obj_uid\":\"tagA\",\"project_uid\":\"prj1\","
              "\"sublocation_uid\":\"sl01\",\"ts\":1796551200,\"x\":5000,\"y\":4000,\"z\":0,"
              "\"zone_type_name\":\"room\",\"zone_uid\":\"room\"}");
    position("tagA", 5000, 5000);
    position("tagA", 20000, 5000, "sl01", "2026-12-06T10:00:07.001Z");
    EXPECT_EQ(next_event(),
              "#zone_event {\"action\":\"leave\",\"ms\":1,\"obj_uid\":\"tagA\",\"project_uid\":\"prj1\","
              "\"sublocation_uid\":\"sl01\",\"ts\":1796551207,\"x\":20000,\"y\":5000,\"z\":0,"
              "\"zone_type_name\":\"room\",\"zone_uid\":\"room\"}");
    EXPECT_EQ(stop(), 0);
}

TEST_F(service_test, a_vehicles_circle_follows_it) {
    add_tag("car1");
    add_tag("tagA");
    add_circle("cir1", "car1", 1000);
    serve_site();
    start();
    position("car1", 0, 0);
    position("tagA", 10000, 0);
    position("car1", 9500, 0);
    EXPECT_EQ(next(), "enter tagA cir1");
    position("car1", 0, 0);
    EXPECT_EQ(next(), "leave tagA cir1");
}

TEST_F(service_test, a_zone_deleted_by_notification_sends_the_owed_leave) {
    add_room("room", 0, 0, 10000, 10000);
    add_tag("tagA");
    serve_site();
    start();
    walk_in("tagA", 5000, 5000);
    EXPECT_EQ(next(), "enter tagA room");
    Json::Value plist;
    plist["uid"] = "room";
    notify("zone", "Deleted", plist);
    EXPECT_EQ(next(), "leave tagA room");
}

TEST_F(service_test, a_restart_while_inside_sends_no_second_enter) {
    add_room("room", 0, 0, 10000, 10000);
    add_tag("tagA");
    serve_site();
    start();
    walk_in("tagA", 5000, 5000);
    EXPECT_EQ(next(), "enter tagA room");
    ASSERT_EQ(stop(), 0);
    start();
    walk_in("tagA", 5100, 5000);
    EXPECT_EQ(events_within(1500ms), std::vector<std::string>{}) << log();
    position("tagA", 30000, 5000);
    EXPECT_EQ(next(), "leave tagA room");
}

TEST_F(service_test, a_zone_removed_while_the_service_was_down_gets_its_leave_at_start) {
    add_room("room", 0, 0, 10000, 10000);
    add_tag("tagA");
    serve_site();
    start();
    walk_in("tagA", 5000, 5000);
    EXPECT_EQ(next(), "enter tagA room");
    ASSERT_EQ(stop(), 0);
    remove_zone_on_server("room");
    start();
    EXPECT_EQ(next(), "leave tagA room");
    EXPECT_EQ(m_redis->cli({"SCARD", "quorvane:trackable_objects_in_zones:set"}), "0\n");
}

TEST_F(service_test, a_tag_the_server_already_lists_inside_gets_no_duplicate_enter) {
    add_room("room", 0, 0, 10000, 10000);
    add_tag("tagA");
    server_lists_inside("room", "tagA");
    serve_site();
    start();
    walk_in("tagA", 5000, 5000);
    EXPECT_EQ(events_within(1500ms), std::vector<std::string>{}) << log();
    position("tagA", 30000, 5000);
    EXPECT_EQ(next(), "leave tagA room");
}

TEST_F(service_test, redis_down_at_start_delays_the_start_until_it_answers) {
    add_room("room", 0, 0, 10000, 10000);
    add_tag("tagA");
    serve_site();
    m_redis->stop();
    launch();
    ASSERT_TRUE(wait_log("Connection refused")) << log();
    m_redis->restart();
    wait_ready();
    walk_in("tagA", 5000, 5000);
    EXPECT_EQ(next(), "enter tagA room");
}

TEST_F(service_test, sigterm_while_waiting_for_redis_is_a_clean_stop) {
    serve_site();
    m_redis->stop();
    launch();
    ASSERT_TRUE(wait_log("Connection refused")) << log();
    EXPECT_EQ(stop(), 0) << log();
    EXPECT_NE(log().find("Interrupted"), std::string::npos) << log();
}

}  // namespace
