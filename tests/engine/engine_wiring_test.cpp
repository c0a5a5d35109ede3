// The engine wired to the real sender and the real persistence: events read
// from a PULL socket, records read back from a real redis-server.
#include "engine_fixture.h"

#include "context_save_restore_impl.h"
#include "events_sender_impl.h"
#include "redis/redis_context.h"

#include "support/redis_server.h"

#include "core/json.h"
#include "core/logger.h"

#include <gtest/gtest.h>

namespace {

using namespace kel;

// car1 carries cir1 and cir2 (radius 1000 and 2000); tagA goes by.
class engine_wiring : public ::testing::Test, public test::context_site {
protected:
    engine_wiring() {
        m_pull.bind("tcp://127.0.0.1:*");
        m_pull.set(zmq::sockopt::rcvtimeo, 5000);
        m_push.connect(m_pull.get(zmq::sockopt::last_endpoint));
        object("car1");
        object("tagA");
        circle("cir1", "car1", 1000, test::of_type("vehicle"));
        circle("cir2", "car1", 2000, test::of_type("vehicle"));
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
    redis::context m_redis_context{"127.0.0.1", m_redis.port(), 10, ""};
    events_sender_impl m_sender{m_push, m_logger, true, false};
    context_save_restore_impl m_save_restore{m_redis_context, m_sender, m_context, {}, m_logger};
    zones_index m_index{m_save_restore, m_sender, m_context, m_logger};
    events_generator m_generator{m_context, m_save_restore, m_sender, m_index, m_logger, {}};
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
    rectangle("kpin", 0, 0, 100, 100, test::of_type("keep_in", "sl02"));
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
