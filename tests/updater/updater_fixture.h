#pragma once

#include "context/writable_context.h"
#include "context_updater.h"
#include "loopback_http/http_server.h"
#include "support/log_capture.h"
#include "support/recording_save_restore.h"
#include "support/site.h"

#include "core/core.h"
#include "core/logger.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <zmq.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kel::test {

// The text, or "-" when there is none.
std::string text_of(boost::optional<const std::string&> text);
// "x,y,z", or "-" when there is no point.
std::string text_of(const boost::optional<context::point>& point);

// Records every change the zones and trackable objects repositories report,
// as "zone <uid> updated <sublocation>", and the time of the last change of
// an object.
class recording_observer : public libs::context_utils::objects_repository<context::zone>::observer,
                           public libs::context_utils::objects_repository<context::trackable_object>::observer {
public:
    explicit recording_observer(const context::context& context)
        : m_zones(context.get_zones().subscribe(*this)), m_objects(context.get_trackable_objects().subscribe(*this)) {}

    using zone = context::zone;
    using object = context::trackable_object;
    void after_creating(const zone& z, libs::core::timestamp ts) override { record("zone", z, "created", ts); }
    void after_updating(const zone& z, libs::core::timestamp ts) override { record("zone", z, "updated", ts); }
    void before_deleting(const zone& z, libs::core::timestamp ts) override { record("zone", z, "deleted", ts); }
    void after_creating(const object& o, libs::core::timestamp ts) override { record("object", o, "created", ts); }
    void after_updating(const object& o, libs::core::timestamp ts) override { record("object", o, "updated", ts); }
    void before_deleting(const object& o, libs::core::timestamp ts) override { record("object", o, "deleted", ts); }

    std::vector<std::string> m_changes;
    libs::core::timestamp m_last_object_time;

private:
    template <typename T>
    void record(const std::string& kind, const T& entity, const std::string& change, libs::core::timestamp ts) {
        m_changes.push_back(kind + " " + entity.get_uid() + " " + change + " " + text_of(entity.get_sublocation_uid()));
        if (kind == "object")
            m_last_object_time = ts;
    }

    libs::context_utils::objects_repository<context::zone>::subscription_handle m_zones;
    libs::context_utils::objects_repository<context::trackable_object>::subscription_handle m_objects;
};

// The context updater on a real events loop, fed by a real HTTP server
// (the site's objects) and a real ZeroMQ PUB socket (notifications and
// positions); its log lines are read from the logger's debug stream.
class updater_fixture : public ::testing::Test {
protected:
    updater_fixture();
    ~updater_fixture() override;

    // What the server lists from now on.
    void serve(const std::vector<zone_recipe>& zones, const std::vector<object_recipe>& objects) {
        serve_site(*m_server, zones, objects);
    }
    // What the server lists for the initial load, and from the first
    // re-synchronization on; before start().
    void serve_changing(const std::vector<zone_recipe>& zones, const std::vector<object_recipe>& objects,
                        const std::vector<zone_recipe>& later_zones, const std::vector<object_recipe>& later_objects);
    // Builds and initializes the updater, then waits until its subscriptions
    // are in place.
    void start(std::chrono::nanoseconds sync_period = std::chrono::hours(1));

    void notify(const std::string& object, const std::string& action, const Json::Value& plist);
    void pos(const std::string& uid, int x, int y, const std::string& sublocation);
    void publish(const std::string& topic, const std::string& payload);
    // Returns once everything published so far has been handled.
    void settle();
    // Runs the loop until `done` holds; fails the test after 10 s.
    void run_until(const std::function<bool()>& done);

    // Null when there is none.
    const context::zone* zone(const std::string& uid) const { return pointer_to(m_context.get_zones().try_get(uid)); }
    const context::trackable_object* object(const std::string& uid) const {
        return pointer_to(m_context.get_trackable_objects().try_get(uid));
    }
    // Member zones of the carrier's multi-tiered zone; empty when it has none.
    std::set<std::string> tiers(const std::string& carrier) const {
        const auto group = m_context.get_multi_tiered_zones().try_get(carrier);
        return group ? group->zones() : std::set<std::string>();
    }
    // A record with none of its flags set.
    void add_record(const std::string& object, const std::string& zone);
    const context::trackable_object_in_zone* record(const std::string& object, const std::string& zone) const;
    // Repository changes and log lines since the previous call.
    std::vector<std::string> changes() { return std::exchange(m_observer.m_changes, {}); }
    std::vector<std::string> new_logs() { return m_log.take(); }
    // How many lines so far contain `text`; never blocks.
    std::size_t logged(const std::string& text) { return m_log.logged(text); }

    // Reset and made again on the same port by tests of a server that goes away.
    std::unique_ptr<libs::loopback_http::http_server> m_server = std::make_unique<libs::loopback_http::http_server>();
    zmq::context_t m_zmq;
    zmq::socket_t m_publisher{m_zmq, zmq::socket_type::pub};
    libs::core::logger m_logger{"quorvane", "updater"};
    log_capture m_log{m_logger};
    libs::core::core::ptr m_core;
    libs::core::events_loop::ptr m_loop;
    libs::core::http::client::ptr m_client;
    libs::core::message_stream::ptr m_stream;
    context::writable_context m_context;
    recording_observer m_observer{m_context};
    recording_save_restore m_recording;
    std::unique_ptr<context_updater> m_updater;

private:
    template <typename T>
    static const T* pointer_to(const boost::optional<const T&>& found) {
        return found ? &*found : nullptr;
    }
    void join_stream();
    // Publishes the next probe, whose number comes back once everything
    // published before it was handled; returns that number.
    int probe();

    libs::core::message_stream::subscription::ptr m_probe_subscription;
    int m_probes_sent = 0;
    int m_last_probe = -1;
};

}  // namespace kel::test
