#include "context_updater.h"

#include <core/exception.h>
#include <core/json.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kel::libs::context_utils::context_updater;
using kel::libs::context_utils::object_infos;

// Every callback of the dispatcher records its name and the message it got.
class context_updater_test : public ::testing::Test {
protected:
    context_updater_test() {
        m_updater.on_zone_creating(record("zone created"));
        m_updater.on_zone_updating(record("zone updated"));
        m_updater.on_zone_deleting(record("zone deleted"));
        m_updater.on_trackable_object_updating(record("trackable updated"));
        m_updater.on_node_deleting(record("node deleted"));
        m_updater.on_trackable_object_groups_updating(record("groups updated"));
        m_updater.on_trackable_object_association_creating(record("association created"));
        m_updater.on_trackable_object_association_updating(record("association updated"));
        m_updater.on_pos(record("pos"));
    }

    context_updater::callback record(const std::string& name) {
        return [this, name](const auto& message) {
            m_calls.push_back(name);
            m_last = message.get_json();
        };
    }

    void notify(const std::string& object, const std::string& action) {
        m_updater.handle_notify(R"({"object":")" + object + R"(","action":")" + action + R"(","plist":{"uid":"u"}})");
    }

    context_updater m_updater;
    std::vector<std::string> m_calls;
    Json::Value m_last;
};

TEST_F(context_updater_test, unknown_kinds_actions_and_unregistered_callbacks_are_ignored) {
    notify("SATELLITE", "created");
    notify("ZONE", "renamed");
    notify("ALARM", "created");
    notify("", "created");
    notify("TRACKABLE_OBJECT", "created");
    notify("Trackable_Object_Groups", "created");
    notify("TRACKABLE_OBJECT_ASSOCIATION", "deleted");
    EXPECT_TRUE(m_calls.empty());
}

}  // namespace
