#pragma once

#include "context/writable_context.h"
#include "context_save_restore_impl.h"
#include "context_updater.h"
#include "events_sender.h"
#include "redis/redis_context.h"
#include "support/http_server.h"
#include "support/redis_server.h"

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

// A zone as the server lists it or a notification carries it. Empty texts
// and a zero radius leave their keys out.
struct zone_recipe {
    explicit zone_recipe(std::string zone_uid, std::string zone_sublocation = "sl01")
        : uid(std::move(zone_uid)), sublocation(std::move(zone_sublocation)) {}

    std::string uid;
    std::string sublocation;
    std::string carrier;
    int radius = 0;
    std::vector<std::pair<int, int>> points{{0, 0}, {100, 0}, {100, 100}};
    std::string shape = "polygon";
    std::string type = "room";
    std::string name = "Room";
    bool active = true;
    std::vector<std::string> exceptions;
    // The server's "trackables_in_zone".
    std::vector<std::string> trackables;
};

// A trackable object as the server lists it or a notification carries it.
struct object_recipe {
    // An empty sublocation: no position at all.
    object_recipe(std::string object_uid, std::string object_sublocation = "sl01", int object_x = 1, int object_y = 2,
                std::vector<std::string> object_groups = {})
        : uid(std::move(object_uid)),
          sublocation(std::move(object_sublocation)),
          x(object_x),
          y(object_y),
          groups(std::move(object_groups)) {}

    std::string uid;
    std::string sublocation;
    int x;
    int y;
    std::vector<std::string> groups;
};

http_server::response answer(unsigned status, std::string body);

// The text, or "-" when there is none.
std::string text_of(boost::optional<const std::string&> text);
// "x,y,z", or "-" when there is no point.
std::string text_of(const boost::optional<context::point>& point);

Json::Value zone_json(const zone_recipe& recipe);
Json::Value object_json(const object_recipe& recipe);
std::string zones_answer(const std::vector<zone_recipe>& zones);
std::string objects_answer(const std::vector<object_recipe>& objects);

// Records every change the zones and trackable objects repositories report,
// as "zone <uid> updated <sublocation>" or "object <uid> deleted".
class recording_observer : public libs::context_utils::objects_repository<context::zone>::observer,
                           public libs::context_utils::objects_repository<context::trackable_object>::observer {
public:
    explicit recording_observer(const context::context& context);

    void after_creating(const context::zone& z, libs::core::timestamp) override { record("zone", z, "created"); }
    void after_updating(const context::zone& z, libs::core::timestamp) override { record("zone", z, "updated"); }
    void before_deleting(const context::zone& z, libs::core::timestamp) override { record("zone", z, "deleted"); }
    void after_creating(const context::trackable_object& o, libs::core::timestamp ts) override;
    void after_updating(const context::trackable_object& o, libs::core::timestamp ts) override;
    void before_deleting(const context::trackable_object& o, libs::core::timestamp) override;

    std::vector<std::string> m_changes;
    std::vector<libs::core::timestamp> m_object_times;

private:
    template <typename T>
    void record(const std::string& kind, const T& entity, const std::string& change) {
        m_changes.push_back(kind + " " + entity.get_uid() + " " + change + " " + text_of(entity.get_sublocation_uid()));
    }

    libs::context_utils::objects_repository<context::zone>::subscription_handle m_zones;
    libs::context_utils::objects_repository<context::trackable_object>::subscription_handle m_objects;
};

// A persistence that records its calls: "save <object>-<zone> E" ("-"
// without the enter event) and "check <object>-<zone>".
class recording_save_restore : public context_save_restore {
public:
    void restore() override {}
    void check_event(const context::trackable_object_in_zone& record) override;
    void save(const context::trackable_object_in_zone& record, boost::optional<const context::zone&>) override;
    connection do_on_save(const slot_type& slot) override { return m_on_save.connect(slot); }

    std::vector<std::string> m_calls;
    save_signal m_on_save;
};

// Records "leave <object> <zone>" for every event queued.
class recording_sender : public events_sender {
public:
    events_queue::ptr create_queue() override;
    connection do_on_enter_event(const slot_type& slot) override { return m_signal.connect(slot); }
    connection do_on_leave_event(const slot_type& slot) override { return m_signal.connect(slot); }

    std::vector<std::string> m_events;
    event_signal m_signal;
};

// The context updater on a real events loop, fed by a real HTTP server
// (the site's objects) and a real ZeroMQ PUB socket (notifications and
// positions); its log lines are read from the logger's debug stream.
class updater_fixture : public ::testing::Test {
protected:
    updater_fixture();
    ~updater_fixture() override;

    // What the server lists from now on.
    void serve(const std::vector<zone_recipe>& zones, const std::vector<object_recipe>& objects);
    // What the server lists for the initial load, and from the first
    // re-synchronization on; before start().
    void serve_changing(const std::vector<zone_recipe>& zones, const std::vector<object_recipe>& objects,
                        const std::vector<zone_recipe>& later_zones, const std::vector<object_recipe>& later_objects);
    // Persist in a real Redis, with a recording events sender; before start().
    void use_redis();
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

    const context::zone* zone(const std::string& uid) const;
    const context::trackable_object* object(const std::string& uid) const;
    // Member zones of the carrier's multi-tiered zone; empty when it has none.
    std::set<std::string> tiers(const std::string& carrier) const;
    // A record with none of its flags set.
    void add_record(const std::string& object, const std::string& zone);
    const context::trackable_object_in_zone* record(const std::string& object, const std::string& zone) const;
    // Repository changes and log lines since the previous call.
    std::vector<std::string> changes();
    std::vector<std::string> new_logs();
    // How many lines so far contain `text`; never blocks.
    std::size_t logged(const std::string& text);

    // Reset and made again on the same port by tests of a server that goes away.
    std::unique_ptr<http_server> m_server = std::make_unique<http_server>();
    zmq::context_t m_zmq;
    zmq::socket_t m_publisher{m_zmq, zmq::socket_type::pub};
    zmq::socket_t m_log{m_zmq, zmq::socket_type::pull};
    libs::core::logger m_logger{"quorvane", "updater"};
    libs::core::core::ptr m_core;
    libs::core::events_loop::ptr m_loop;
    libs::core::http::client::ptr m_client;
    libs::core::message_stream::ptr m_stream;
    context::writable_context m_context;
    recording_observer m_observer{m_context};
    recording_save_restore m_recording;
    recording_sender m_sender;
    std::unique_ptr<redis_server> m_redis_server;
    std::unique_ptr<redis::context> m_redis;
    std::unique_ptr<context_save_restore_impl> m_persistence;
    std::unique_ptr<context_updater> m_updater;

private:
    bool receive_log_line(zmq::recv_flags flags);
    void join_stream();

    libs::core::message_stream::subscription::ptr m_probe_subscription;
    int m_probes_sent = 0;
    int m_last_probe = -1;
    std::vector<std::string> m_log_lines;
    std::size_t m_logs_read = 0;
    int m_markers = 0;
};

}  // namespace kel::test
