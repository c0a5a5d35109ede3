#include "context_synchronizer_impl.h"

#include <core/core.h>
#include <core/logger.h>

#include "support/http_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kel::libs::context_utils::context_synchronizer_impl;
namespace parsers = kel::libs::context_utils::parsers;
using kel::test::http_server;

class context_synchronizer_test : public ::testing::Test {
protected:
    context_synchronizer_test()
        : m_logger("quorvane", "test"),
          m_core(kel::libs::core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("test")),
          m_client(m_loop->create_http_client(m_server.address(), std::chrono::seconds(5))),
          m_synchronizer(*m_client, *m_loop, m_logger, 10ms) {}

    void notify(const std::string& object, const std::string& action, const std::string& plist) {
        m_synchronizer.handle_notify(R"({"object":")" + object + R"(","action":")" + action +
                                     R"(","ts":1600000000,"ms":42,"project_uid":"p","plist":)" + plist + "}");
    }

    http_server m_server;
    kel::libs::core::logger m_logger;
    kel::libs::core::core::ptr m_core;
    kel::libs::core::events_loop::ptr m_loop;
    kel::libs::core::http::client::ptr m_client;
    context_synchronizer_impl m_synchronizer;
    std::vector<std::string> m_seen;
};

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
