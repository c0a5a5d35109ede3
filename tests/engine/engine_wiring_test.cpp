// The engine wired to the real sender and the real persistence: events read
// from a PULL socket, records read back from a real redis-server.
#include "context/writable_context.h"
#include "context_save_restore_impl.h"
#include "events_generator.h"
#include "events_sender_impl.h"
#include "redis/redis_context.h"
#include "zones_index.h"

#include "support/redis_server.h"

#include "core/json.h"
#include "core/logger.h"

#include <gtest/gtest.h>

namespace {

using namespace kel;

class engine_wiring : public ::testing::Test {
protected:
    engine_wiring() {
        m_pull.bind("tcp://127.0.0.1:*");
        m_pull.set(zmq::sockopt::rcvtimeo, 5000);
        m_push.connect(m_pull.get(zmq::sockopt::last_endpoint));
        add_object("car1");
        add_object("tagA");
        m_context.take_multi_tiered_zones().add(context::multi_tiered_zone("car1", "cir1"), now());
        if (auto group = m_context.take_multi_tiered_zones().try_get("car1", now()))
            group->add_zone("cir2");
        add_circle("cir1", 1000);
        add_circle("cir2", 2000);
    }

    libs::core::timestamp now() { return libs::core::timestamp(std::chrono::milliseconds(++m_clock)); }

    void add_object(const std::string& uid) {
        m_context.take_trackable_objects().add(
            context::trackable_object(uid, parse_uid(uid), "prj1", true, true, boost::none, std::string("sl01"), {}),
            now());
    }

    void add_circle(const std::string& uid, int radius) {
        m_context.take_zones().add(context::zone(uid, radius, "prj1", std::string("sl01"), std::string("car1"),
                                                 boost::none, true, context::shape::CIRCLE, "vehicle", false, {}, {}),
                                   now());
    }

    void move(const std::string& uid, int x, int y) {
        auto handle = m_context.take_trackable_objects().try_get(uid, now());
        handle->set_position(context::point(x, y, 0));
    }

    // "enter tagA cir1" for the next message on the wire, "" when none.
    std::string next_event() {
        zmq::message_t m;
        if (!m_pull.recv(m))
            return "";
        const auto json = libs::core::json::try_parse(m.to_string().substr(std::string("#zone_event ").size()));
        return json.result["action"].asString() + " " + json.result["obj_uid"].asString() + " " +
               json.result["zone_uid"].asString();
    }

    std::string stored_flags(const std::string& id) {
        return m_redis.cli({"HMGET", "quorvane:trackable_objects_in_zones:" + id, "in_zone", "event_generated",
                            "in_debouncing_state"});
    }

    // Commands Redis has processed so far, this connection's INFO included.
    long commands_processed() {
        const auto info = m_redis.cli({"INFO", "stats"});
        const std::string field = "total_commands_processed:";
        return std::stol(info.substr(info.find(field) + field.size()));
    }

    test::redis_server m_redis;
    libs::core::logger m_logger{"quorvane", "test"};
    boost::asio::io_context m_io;
    zmq::context_t m_zmq;
    zmq::socket_t m_pull{m_zmq, zmq::socket_type::pull};
    push_socket m_push{m_io, zmq::socket_type::push};
    context::writable_context m_context;
    redis::context m_redis_context{"127.0.0.1", m_redis.port(), 10, ""};
    events_sender_impl m_sender{m_push, m_logger, true, false};
    context_save_restore_impl m_save_restore{m_redis_context, m_sender, m_context, {}, m_logger};
    zones_index m_index{m_save_restore, m_sender, m_context, m_logger};
    events_generator m_generator{m_context, m_save_restore, m_sender, m_index, m_logger, {}};
    std::int64_t m_clock = 1700000000000;
};

TEST_F(engine_wiring, a_batch_sends_its_enter_before_its_leave_and_redis_follows) {
    move("car1", 0, 0);
    move("tagA", 500, 0);
    EXPECT_EQ(next_event(), "enter tagA cir1");
    EXPECT_EQ(stored_flags("tagA-cir1"), "true\ntrue\ntrue\n");
    EXPECT_EQ(stored_flags("tagA-cir2"), "true\nfalse\ntrue\n");
    move("tagA", 1500, 0);
    // Decided as LEAVE cir1 then ENTER cir2; on the wire the ENTER goes first.
    EXPECT_EQ(next_event(), "enter tagA cir2");
    EXPECT_EQ(next_event(), "leave tagA cir1");
    EXPECT_EQ(m_redis.cli({"EXISTS", "quorvane:trackable_objects_in_zones:tagA-cir1"}), "0\n");
    EXPECT_EQ(stored_flags("tagA-cir2"), "true\ntrue\nfalse\n");
    EXPECT_EQ(m_redis.cli({"SISMEMBER", "quorvane:trackable_objects_in_zones:set", "tagA-cir1"}), "0\n");
    EXPECT_EQ(m_redis.cli({"SISMEMBER", "quorvane:trackable_objects_in_zones:set", "tagA-cir2"}), "1\n");
}

// A keep-in zone of another sublocation is decided anew at every position of
// every object of its project; once its record is settled, Redis holds what
// every later save would write, and nothing is sent.
TEST_F(engine_wiring, a_settled_keep_in_record_elsewhere_costs_redis_nothing) {
    m_context.take_zones().add(context::zone("kpin", boost::none, "prj1", std::string("sl02"), boost::none,
                                             std::vector<context::point>{{0, 0, 0}, {100, 0, 0}, {100, 100, 0}},
                                             true, context::shape::POLYGON, "keep_in", false, {}, {}),
                               now());
    move("tagA", 50000, 0);
    EXPECT_EQ(next_event(), "leave tagA kpin");
    EXPECT_EQ(m_redis.cli({"HGET", "quorvane:trackable_objects_in_zones:tagA-kpin", "leave_generated"}), "true\n");
    // What asking costs by itself (redis-cli's own commands included).
    const long first = commands_processed();
    const long before = commands_processed();
    const long asking = before - first;
    for (int i = 1; i <= 20; ++i)
        move("tagA", 50000 + 100 * i, 0);
    EXPECT_EQ(commands_processed() - before, asking);
}

}  // namespace
