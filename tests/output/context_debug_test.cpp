#include "context_debug.h"

#include "context/writable_context.h"
#include "output/context_builders.h"
#include "support/redis_server.h"

#include "core/exception.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using kel::context::point;
using kel::context::trackable_object;
using kel::libs::core::timestamp;
using fields = std::vector<std::pair<std::string, std::string>>;

timestamp at(std::int64_t ms) {
    return timestamp(std::chrono::milliseconds(ms));
}

// The mirror of a context in a real Redis, read back with redis-cli.
class debug_mirror : public ::testing::Test {
protected:
    template <typename Change>
    void change_object(timestamp ts, Change change) {
        change(*m_context.take_trackable_objects().try_get(m_object, ts));
    }
    std::string object_key(const std::string& uid) const { return "quorvane:trackable_objects:" + uid; }

    const std::string m_object = kel::test::uid_text("object");
    kel::test::redis_server m_redis;
    kel::redis::context m_client{"127.0.0.1", m_redis.port(), 10, ""};
    kel::context::writable_context m_context;
    kel::context_debug m_mirror{m_context, m_client};
};

TEST_F(debug_mirror, a_zone_is_rewritten_at_every_change_and_deleted_with_its_set_entry) {
    auto circle = [](bool active) {
        return kel::context::zone("zone", 500, "project", std::string("sublocation"), std::string("owner"),
                                  boost::none, active, kel::context::shape::CIRCLE, "buffer", false, {}, {});
    };
    m_context.take_zones().add(circle(true), at(1000));
    m_context.take_zones().update_or_add(circle(false), at(2000));
    const fields expected{{"uid", "zone"},       {"radius", "500"},     {"sublocation_uid", "sublocation"},
                          {"trackable_object_uid", "owner"}, {"active", "false"}, {"shape", "CIRCLE"},
                          {"type_name", "buffer"}, {"default_allowed", "false"},
                          {"ts", "2 0 [1970-01-01T00:00:02.000Z]"}};
    EXPECT_EQ(m_redis.hash("quorvane:zones:zone"), expected);
    EXPECT_EQ(m_redis.members("quorvane:zones:set"), std::set<std::string>{"zone"});

    m_context.take_zones().remove("zone", at(3000));
    EXPECT_TRUE(m_redis.hash("quorvane:zones:zone").empty());
    EXPECT_TRUE(m_redis.members("quorvane:zones:set").empty());
}

// Positions alone are not mirrored; a change of flags is, and so is the
// next report of an object whose write was in a failed burst.
TEST_F(debug_mirror, a_trackable_object_is_written_at_creation_and_again_when_its_flags_change_or_its_write_failed) {
    const auto written_at = [&] { return m_redis.cli_line({"HGET", object_key(m_object), "ts"}); };
    const auto move = [&](timestamp ts) {
        change_object(ts, [](trackable_object& o) { o.set_position(point(1, 2, 0)); });
    };
    m_context.take_trackable_objects().add(kel::test::make_object(m_object), at(1000));
    const fields expected{{"uid", m_object},
                          {"project_uid", "project"},
                          {"responsive", "true"},
                          {"associated", "true"},
                          {"ts", "1 0 [1970-01-01T00:00:01.000Z]"}};
    EXPECT_EQ(m_redis.hash(object_key(m_object)), expected);
    EXPECT_EQ(m_redis.members("quorvane:trackable_objects:set"), std::set<std::string>{m_object});
    move(at(2000));
    EXPECT_EQ(written_at(), "1 0 [1970-01-01T00:00:01.000Z]");
    change_object(at(3000), [](trackable_object& o) { o.set_responsive(false); });
    EXPECT_EQ(written_at(), "3 0 [1970-01-01T00:00:03.000Z]");

    m_redis.cli({"SET", object_key(m_object), "not a hash"});
    m_client.begin_burst();
    change_object(at(4000), [](trackable_object& o) { o.set_responsive(true); });
    EXPECT_THROW(m_client.end_burst(), kel::libs::core::exception);
    m_mirror.burst_sent();
    m_mirror.end_burst(false);
    m_redis.cli({"DEL", object_key(m_object)});
    move(at(5000));
    EXPECT_EQ(written_at(), "5 0 [1970-01-01T00:00:05.000Z]");
    move(at(6000));
    EXPECT_EQ(written_at(), "5 0 [1970-01-01T00:00:05.000Z]");
}

// The fixture's mirror started on an empty Redis; this one starts where a
// previous run left its keys.
TEST_F(debug_mirror, construction_deletes_what_a_previous_run_mirrored) {
    m_redis.cli({"SADD", "quorvane:zones:set", "old zone", "old%s"});
    m_redis.cli({"HSET", "quorvane:zones:old zone", "uid", "old zone"});
    m_redis.cli({"HSET", "quorvane:zones:old%s", "uid", "old%s"});
    m_redis.cli({"SADD", "quorvane:trackable_objects:set", "old object"});
    m_redis.cli({"HSET", object_key("old object"), "uid", "old object"});
    m_redis.cli({"SET", "unrelated", "kept"});
    const kel::context_debug restarted(m_context, m_client);
    EXPECT_EQ(m_redis.cli_lines({"KEYS", "*"}), std::vector<std::string>{"unrelated"});
}

}  // namespace
