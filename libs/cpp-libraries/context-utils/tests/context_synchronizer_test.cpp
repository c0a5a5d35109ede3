#include "context_synchronizer_impl.h"

#include <core/core.h>
#include <core/logger.h>

#include "support/http_server.h"
#include "support/run_until.h"

#include <gtest/gtest.h>

#include <boost/optional/optional_io.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kel::libs::context_utils::context_synchronizer;
using kel::libs::context_utils::context_synchronizer_impl;
using kel::libs::core::timestamp;
namespace parsers = kel::libs::context_utils::parsers;
using kel::test::http_server;

const char* const zone_z1 =
    R"({"uid":"z1","updated_at":"2023-11-14T22:13:20.123Z","trackables_in_zone":[{"uid":"t1"}]})";

class context_synchronizer_test : public ::testing::Test {
protected:
    context_synchronizer_test()
        : m_logger("quorvane", "test"),
          m_core(kel::libs::core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("test")),
          m_client(m_loop->create_http_client(m_server.address(), std::chrono::seconds(5))),
          m_synchronizer(*m_client, *m_loop, m_logger, 10ms) {
        m_server.serve("/api/private/track_obj/", R"({"trackableObjects":[{"uid":"t1","position":{"x":4}}]})");
        m_server.serve("/api/private/zones/", std::string(R"({"zones":[)") + zone_z1 + "]}");
        m_server.serve("/api/private/sublocations/", R"({"sublocations":[]})");
        m_server.serve("/api/private/nodes/", R"({"nodes":[]})");
    }

    void notify(const std::string& object, const std::string& action, const std::string& plist) {
        m_synchronizer.handle_notify(R"({"object":")" + object + R"(","action":")" + action +
                                     R"(","ts":1600000000,"ms":42,"project_uid":"p","plist":)" + plist + "}");
    }

    void run_until(const std::function<bool()>& done) {
        ASSERT_TRUE(kel::test::run_until(*m_loop, done)) << "timed out";
    }

    http_server m_server;
    kel::libs::core::logger m_logger;
    kel::libs::core::core::ptr m_core;
    kel::libs::core::events_loop::ptr m_loop;
    kel::libs::core::http::client::ptr m_client;
    context_synchronizer_impl m_synchronizer;
    std::vector<std::string> m_seen;
};

TEST_F(context_synchronizer_test, initial_load_and_notifications_reach_the_same_creating_callbacks) {
    m_synchronizer.on_zone_creating([&](parsers::zone& z) {
        m_seen.push_back(z.get_uid() + "@" + std::to_string(z.get_ts()) + "." + std::to_string(z.get_ms()));
    });
    m_synchronizer.on_trackable_object_creating(
        [&](parsers::trackable_object& t) { m_seen.push_back(t.get_uid() + " x=" + std::to_string(*t.get_x())); });
    m_synchronizer.initialize();
    notify("ZONE", "created", R"({"uid":"z2"})");
    notify("TRACKABLE_OBJECT", "created", R"({"uid":"t2","position":{"x":-1}})");
    EXPECT_EQ(m_seen, (std::vector<std::string>{"t1 x=4", "z1@1700000000.123", "z2@1600000000.42", "t2 x=-1"}));
}

TEST_F(context_synchronizer_test, deleting_callbacks_get_the_uid_and_the_notification_time) {
    std::vector<timestamp> times;
    m_synchronizer.on_zone_deleting([&](const std::string& uid, timestamp ts) {
        m_seen.push_back("zone " + uid);
        times.push_back(ts);
    });
    m_synchronizer.on_trackable_object_deleting(
        [&](const std::string& uid, timestamp) { m_seen.push_back("trackable " + uid); });
    notify("zone", "deleted", R"({"uid":"z1"})");
    notify("trackable_object", "deleted", R"({"uid":"t1"})");
    EXPECT_EQ(m_seen, (std::vector<std::string>{"zone z1", "trackable t1"}));
    EXPECT_EQ(times, (std::vector<timestamp>{timestamp(1600000000, 42)}));
}

TEST_F(context_synchronizer_test, messages_reach_their_typed_callbacks) {
    m_synchronizer.on_zone_updating([&](parsers::zone& z) { m_seen.push_back("zone " + z.get_uid()); });
    m_synchronizer.on_trackable_object_updating(
        [&](parsers::trackable_object& t) { m_seen.push_back("to " + t.get_uid()); });
    m_synchronizer.on_pos([&](parsers::pos& p) { m_seen.push_back("pos " + p.get_trackable_uid().to_string()); });
    m_synchronizer.on_trackable_object_groups_updating([&](parsers::trackable_object_groups& g) {
        g.for_each_added_group([&](const auto& group) {
            m_seen.push_back("group " + group.get_uid());
            return true;
        });
    });
    m_synchronizer.on_trackable_object_association_updating([&](parsers::trackable_object_association& a) {
        m_seen.push_back("association " + a.get_trackable_object_uid());
    });
    notify("ZONE", "updated", R"({"uid":"z1"})");
    notify("TRACKABLE_OBJECT", "updated", R"({"uid":"t1"})");
    m_synchronizer.handle_pos(R"({"tk_uid":"t1"})");
    notify("TRACKABLE_OBJECT_GROUPS", "updated", R"({"g1":{"action":"ADD_GROUP","trackableObject":"t1"}})");
    notify("TRACKABLE_OBJECT_ASSOCIATION", "updated", R"({"trob_uid":"t1"})");
    EXPECT_EQ(m_seen, (std::vector<std::string>{"zone z1", "to t1", "pos t1", "group g1", "association t1"}));
}

}  // namespace
