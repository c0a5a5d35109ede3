// The whole service end to end: the real binary against a real Redis, a real
// HTTP server and real ZeroMQ sockets on loopback.
#include "e2e/service_fixture.h"

#include "support/wait.h"

#include <gtest/gtest.h>

#include <json/json.h>

#include <signal.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

class service_test : public ::testing::Test, public kel::test::service_fixture {
protected:
    // Rooms roma and romb over the same square, from x0 on.
    void two_rooms(int x0) {
        add_room("roma", x0, 0, x0 + 10000, 10000);
        add_room("romb", x0, 0, x0 + 10000, 10000);
    }
    // The next events, exactly these, in this order.
    void expect_events(const std::vector<std::string>& expected) {
        for (const auto& event : expected)
            EXPECT_EQ(next(), event) << log();
    }
    const std::vector<std::string> m_tags_01_02{"tg01", "tg02"};
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
    EXPECT_EQ(m_redis->cli({"HGET", "quorvane:trackable_objects_in_zones:tagA-room", "event_generated"}), "true\n")
        << "an event leaves only once Redis holds its record";
    position("tagA", 5000, 5000);
    position("tagA", 20000, 5000, "sl01", "2026-12-06T10:00:07.001Z");
    EXPECT_EQ(next_event(),
              "#zone_event {\"action\":\"leave\",\"ms\":1,\"obj_uid\":\"tagA\",\"project_uid\":\"prj1\","
              "\"sublocation_uid\":\"sl01\",\"ts\":1796551207,\"x\":20000,\"y\":5000,\"z\":0,"
              "\"zone_type_name\":\"room\",\"zone_uid\":\"room\"}");
    EXPECT_EQ(stop(), 0);
}

// A backlog, handled in bursts that follow each other while the earlier
// ones' writes are still with Redis: every event comes, once, in the order
// of the positions (each carries its position's time), and Redis ends up
// holding what the events said.
TEST_F(service_test, a_backlog_gives_every_event_once_in_the_order_of_its_positions) {
    add_room("west", 0, 0, 10000, 10000);
    add_room("east", 20000, 0, 30000, 10000);
    std::vector<std::string> tags;
    for (int i = 0; i < 20; ++i)
        tags.push_back("tg" + std::to_string(10 + i));
    for (const auto& tag : tags)
        add_tag(tag);
    serve_site();
    start(false);
    // Stopped, the service finds the whole stream waiting when it resumes.
    m_service->send_signal(SIGSTOP);
    const int rounds = 40;
    int sent = 0;
    for (int round = 0; round < rounds; ++round) {
        const int x = round % 2 == 0 ? 5000 : 25000;
        for (int step = 0; step < 2; ++step) {
            for (std::size_t i = 0; i < tags.size(); ++i, ++sent) {
                char ts[40];
                std::snprintf(ts, sizeof ts, "2026-12-06T10:%02d:%02d.%03dZ", sent / 60000, sent / 1000 % 60,
                              sent % 1000);
                position(tags[i], x + step * 10, 100 + 400 * static_cast<int>(i), "sl01", ts);
            }
        }
    }
    m_service->send_signal(SIGCONT);
    std::map<std::string, std::vector<std::string>> by_tag;
    long long last_time = 0;
    const std::size_t expected = tags.size() * (2 * rounds - 1);
    for (std::size_t n = 0; n < expected; ++n) {
        const auto event = next_event();
        ASSERT_FALSE(event.empty()) << n << " events of " << expected << "\n" << log();
        Json::Value parsed;
        ASSERT_TRUE(Json::Reader().parse(event.substr(event.find('{')), parsed)) << event;
        const long long time = parsed["ts"].asInt64() * 1000 + parsed["ms"].asInt64();
        EXPECT_LE(last_time, time) << "out of order: " << event;
        last_time = time;
        by_tag[parsed["obj_uid"].asString()].push_back(summary(event));
    }
    EXPECT_EQ(events_within(500ms), std::vector<std::string>{});
    for (const auto& tag : tags) {
        std::vector<std::string> walk{"enter " + tag + " west"};
        for (int round = 1; round < rounds; ++round) {
            const bool east = round % 2 == 1;
            walk.push_back("enter " + tag + (east ? " east" : " west"));
            walk.push_back("leave " + tag + (east ? " west" : " east"));
        }
        EXPECT_EQ(by_tag[tag], walk) << tag;
        EXPECT_EQ(m_redis->cli({"HGET", "quorvane:trackable_objects_in_zones:" + tag + "-east", "event_generated"}),
                  "true\n");
    }
    EXPECT_EQ(stop(), 0);
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
    // The LEAVE goes out before its record is deleted.
    EXPECT_TRUE(kel::test::wait_until(
        [&] { return m_redis->cli({"SCARD", "quorvane:trackable_objects_in_zones:set"}) == "0\n"; }))
        << log();
}

// At start every zone is shown every object, zone by zone, and then every
// object its zones: the events of the start come out grouped by zone.
TEST_F(service_test, the_start_decides_zone_by_zone) {
    two_rooms(0);
    for (const auto& tag : m_tags_01_02) {
        add_tag(tag);
        place_tag(tag, 5000, 5000);
    }
    serve_site();
    start();
    expect_events({"enter tg01 roma", "enter tg02 roma", "enter tg01 romb", "enter tg02 romb"});
}

// The zone's pass enters the tag and the tag's own pass finds its whole
// footprint inside: settled, so a centre that crosses the edge leaves at
// once.
TEST_F(service_test, a_tag_loaded_inside_is_settled_by_the_start) {
    add_room("room", 0, 0, 10000, 10000);
    served_zone("room")["default_allowed"] = true;
    served_zone("room")["zone_exceptions"].append("tagA");
    add_tag("tagA");
    place_tag("tagA", 188, 5000);
    serve_site();
    start();
    EXPECT_EQ(next(), "enter tagA room");
    position("tagA", -64, 5000);
    EXPECT_EQ(next(), "leave tagA room") << log();
}

// Both rooms moved away while the service was down: each owed LEAVE is
// decided in its room's pass.
TEST_F(service_test, restored_records_of_a_changed_zone_are_decided_in_its_pass) {
    two_rooms(0);
    for (const auto& tag : m_tags_01_02)
        add_tag(tag);
    serve_site();
    start();
    for (const auto& tag : m_tags_01_02)
        walk_in(tag, 5000, 5000);
    expect_events({"enter tg01 roma", "enter tg01 romb", "enter tg02 roma", "enter tg02 romb"});
    ASSERT_EQ(stop(), 0);
    m_zones = Json::Value(Json::arrayValue);
    two_rooms(50000);
    for (const auto& tag : m_tags_01_02)
        place_tag(tag, 5010, 5000);
    serve_site();
    start();
    expect_events({"leave tg01 roma", "leave tg02 roma", "leave tg01 romb", "leave tg02 romb"});
}

// One unreadable field must not wipe the zone: the update is refused whole.
TEST_F(service_test, a_zone_update_with_unreadable_exceptions_leaves_the_zone_as_it_was) {
    add_room("room", 0, 0, 10000, 10000);
    add_tag("tagA");
    serve_site();
    start();
    walk_in("tagA", 5000, 5000);
    EXPECT_EQ(next(), "enter tagA room");
    auto update = zone_json("room");
    update["zone_exceptions"] = "tagA";
    notify("zone", "Updated", update);
    ASSERT_TRUE(wait_log("zone_exceptions")) << log();
    walk_in("tagA", 6000, 6000);
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
