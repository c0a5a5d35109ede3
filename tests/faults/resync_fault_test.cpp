// The site's HTTP server goes down during the periodic re-synchronization
// and comes back on the same port. The context updater runs in-process on a
// real events loop with a short period (its constructor takes the period;
// the service keeps 600 s), against a real HTTP server; its log lines are
// read from the logger's debug stream.
#include "context/writable_context.h"
#include "context_save_restore.h"
#include "context_updater.h"
#include "support/http_server.h"

#include "core/core.h"
#include "core/json.h"
#include "core/logger.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <zmq.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kel::test::http_server;

// Keeps nothing: this test is about the context, not the records.
class no_persistence : public kel::context_save_restore {
public:
    void restore() override {}
    void check_event(const kel::context::trackable_object_in_zone&) override {}
    void save(const kel::context::trackable_object_in_zone&, boost::optional<const kel::context::zone&>) override {}
    connection do_on_save(const slot_type& slot) override { return m_on_save.connect(slot); }

private:
    save_signal m_on_save;
};

std::string zones_answer(const std::vector<std::string>& uids) {
    Json::Value answer;
    answer["zones"] = Json::Value(Json::arrayValue);
    for (const auto& uid : uids) {
        Json::Value z;
        z["uid"] = uid;
        z["name"] = uid;
        z["project_uid"] = "prj1";
        z["shape"] = "polygon";
        z["zone_type_name"] = "room";
        z["active"] = true;
        z["default_allowed"] = false;
        z["priority"] = 1;
        z["zone_alarm_level"] = 0;
        z["sublocation_uid"] = "sl01";
        z["zone_exceptions"] = Json::Value(Json::arrayValue);
        z["zone_exceptions_groups"] = Json::Value(Json::arrayValue);
        z["updated_at"] = "2023-11-14T22:13:20.123Z";
        for (const auto& p : {std::make_pair(0, 0), std::make_pair(100, 0), std::make_pair(100, 100)}) {
            Json::Value point;
            point["x"] = p.first;
            point["y"] = p.second;
            z["zone_geometry"]["positions"].append(point);
        }
        z["trackables_in_zone"] = Json::Value(Json::arrayValue);
        answer["zones"].append(z);
    }
    return kel::libs::core::json::to_string(answer);
}

std::string objects_answer(const std::vector<std::string>& uids) {
    Json::Value answer;
    answer["trackableObjects"] = Json::Value(Json::arrayValue);
    for (const auto& uid : uids) {
        Json::Value o;
        o["uid"] = uid;
        o["name"] = uid;
        o["project_uid"] = "prj1";
        o["updated_at"] = "2023-11-14T22:13:20.123Z";
        o["node"]["mac_address"] = "00:11:22:33:44:55";
        o["node"]["responsive"] = true;
        answer["trackableObjects"].append(o);
    }
    return kel::libs::core::json::to_string(answer);
}

class resync_fault : public ::testing::Test {
protected:
    resync_fault()
        : m_server(std::make_unique<http_server>()),
          m_port(m_server->port()),
          m_core(kel::libs::core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("test")),
          m_client(m_loop->create_http_client(m_server->address(), 2s)) {
        m_publisher.set(zmq::sockopt::linger, 0);
        m_publisher.bind("tcp://127.0.0.1:*");
        m_stream = m_loop->create_zmq_message_stream(m_publisher.get(zmq::sockopt::last_endpoint));
        m_log.set(zmq::sockopt::linger, 0);
        m_log.bind("tcp://127.0.0.1:*");
        m_logger.connect(m_log.get(zmq::sockopt::last_endpoint));
        // Periods of milliseconds here: each failure's line is counted.
        m_logger.set_repeat_interval(std::chrono::steady_clock::duration::zero());
    }

    void serve(http_server& server, const std::vector<std::string>& zones, const std::vector<std::string>& objects) {
        server.serve("/api/private/zones/", zones_answer(zones));
        server.serve("/api/private/track_obj/", objects_answer(objects));
        server.serve("/api/private/sublocations/", R"({"sublocations":[]})");
        server.serve("/api/private/nodes/", R"({"nodes":[]})");
    }

    void start(std::chrono::nanoseconds period) {
        m_updater = std::make_unique<kel::context_updater>(m_context, *m_client, *m_stream, m_logger, *m_loop,
                                                           m_persistence, period);
        m_updater->initialize();
    }

    // Runs the loop until `done` holds; false after 20 s.
    bool run_until(const std::function<bool()>& done) {
        auto check = m_loop->create_periodic_timer(
            5ms, "check",
            [&](auto) {
                read_logs();
                if (done())
                    m_loop->stop();
            },
            KEL_SOURCE_LOCATION());
        auto limit = m_loop->create_timer(kel::libs::core::timer::time_point(std::chrono::steady_clock::now() + 20s),
                                          "limit", [this](auto) { m_loop->stop(); }, KEL_SOURCE_LOCATION());
        m_loop->get_io_context().restart();
        m_loop->run();
        read_logs();
        return done();
    }

    void read_logs() {
        zmq::message_t line;
        while (m_log.recv(line, zmq::recv_flags::dontwait))
            m_lines.push_back(line.to_string());
    }

    // How many lines so far contain `text`.
    std::size_t logged(const std::string& text) const {
        std::size_t count = 0;
        for (const auto& line : m_lines)
            count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }

    bool has_zone(const std::string& uid) const { return m_context.get_zones().is_exists(uid); }
    bool has_object(const std::string& uid) const { return m_context.get_trackable_objects().is_exists(uid); }

    std::unique_ptr<http_server> m_server;
    int m_port;
    zmq::context_t m_zmq;
    zmq::socket_t m_publisher{m_zmq, zmq::socket_type::pub};
    zmq::socket_t m_log{m_zmq, zmq::socket_type::pull};
    kel::libs::core::logger m_logger{"quorvane", "faults"};
    kel::libs::core::core::ptr m_core;
    kel::libs::core::events_loop::ptr m_loop;
    kel::libs::core::http::client::ptr m_client;
    kel::libs::core::message_stream::ptr m_stream;
    kel::context::writable_context m_context;
    no_persistence m_persistence;
    std::unique_ptr<kel::context_updater> m_updater;
    std::vector<std::string> m_lines;
};

const char* const zones_failed = "Context synchronization: failed to get zones from server";
const char* const complete = "Context synchronization complete";

TEST_F(resync_fault, a_server_down_at_the_period_is_logged_and_a_later_period_succeeds) {
    serve(*m_server, {"zon1", "zon2"}, {"tag1"});
    start(200ms);
    ASSERT_TRUE(run_until([&] { return logged(complete) >= 1; }));

    m_server.reset();
    ASSERT_TRUE(run_until([&] { return logged(zones_failed) >= 2; }));
    EXPECT_GE(logged("Request failed with code: none, addr: /api/private/zones/"), 2u);
    EXPECT_TRUE(has_zone("zon2"));

    // Back on the same port, without zon2 and with one more object.
    m_server = std::make_unique<http_server>(m_port);
    serve(*m_server, {"zon1"}, {"tag1", "tag2"});
    const auto completed = logged(complete);
    ASSERT_TRUE(run_until([&] { return logged(complete) > completed; }));
    EXPECT_FALSE(has_zone("zon2"));
    EXPECT_TRUE(has_zone("zon1"));
    EXPECT_TRUE(has_object("tag2"));
}

// The server answers the zones, then goes away while the trackable objects
// are asked for: that period ends after its zones stage, the next succeeds.
TEST_F(resync_fault, a_server_lost_between_the_two_stages_fails_only_the_second) {
    serve(*m_server, {"zon1"}, {"tag1"});
    start(200ms);
    ASSERT_TRUE(run_until([&] { return logged(complete) >= 1; }));

    // The objects' answer waits, and the server dies with the request open.
    http_server::response slow;
    slow.body = objects_answer({"tag1"});
    slow.delay = 10s;
    serve(*m_server, {"zon1", "zon2"}, {"tag1"});
    m_server->serve("/api/private/track_obj/", slow);
    const std::size_t asked = m_server->count("/api/private/track_obj/");
    ASSERT_TRUE(run_until([&] { return m_server->count("/api/private/track_obj/") > asked; }));
    EXPECT_TRUE(has_zone("zon2"));
    m_server.reset();
    ASSERT_TRUE(run_until(
        [&] { return logged("Context synchronization: failed to get trackable objects from server") >= 1; }));

    m_server = std::make_unique<http_server>(m_port);
    serve(*m_server, {"zon1"}, {"tag2"});
    const auto completed = logged(complete);
    ASSERT_TRUE(run_until([&] { return logged(complete) > completed; }));
    EXPECT_FALSE(has_zone("zon2"));
    EXPECT_FALSE(has_object("tag1"));
    EXPECT_TRUE(has_object("tag2"));
}

}  // namespace
