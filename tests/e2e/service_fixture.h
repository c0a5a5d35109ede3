#pragma once

#include "support/child_process.h"
#include "loopback_http/http_server.h"
#include "support/redis_server.h"
#include "support/temp_dir.h"

#include "core/timestamp.h"

#include <json/json.h>
#include <zmq.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace kel::test {

// The real quorvane binary on loopback with everything it talks to: a
// redis-server, the site's HTTP server, and both sides of the message proxy
// (an XPUB the service subscribes to, so that the fixture sees the
// subscriptions settle, and a PULL that receives its events).
class service_fixture {
public:
    service_fixture();
    ~service_fixture();

    // The site as the HTTP server serves it.
    void add_room(const std::string& uid, int x0, int y0, int x1, int y1, const std::string& sublocation = "sl01");
    void add_tag(const std::string& uid, const std::string& sublocation = "sl01");
    // The position at which the server reports the tag.
    void place_tag(const std::string& uid, int x, int y);
    // A vehicle tag carrying a circle zone of `radius`.
    void add_circle(const std::string& uid, const std::string& carrier, int radius);
    void remove_zone_on_server(const std::string& uid);
    void serve_site();

    // Starts quorvane and waits until it subscribed to its three topics.
    void start(bool debug_output = true);
    // Starts quorvane without waiting; wait_ready() waits for the
    // subscriptions, wait_log() for a text in its log.
    void launch(bool debug_output = true);
    void wait_ready();
    bool wait_log(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // SIGTERM and the exit status.
    int stop();

    void position(const std::string& tag, int x, int y, const std::string& sublocation = "sl01",
                  const std::string& ts = "");
    // A notification stamped `ts`.
    void notify(const std::string& object, const std::string& action, const Json::Value& plist,
                libs::core::timestamp ts = libs::core::timestamp::current_time());

    // The next event text within `timeout`, or "" when none came.
    std::string next_event(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Events that arrive within `quiet`; used to show that none came.
    std::vector<std::string> events_within(std::chrono::milliseconds quiet);
    // "enter <tag> <zone>" of an event text.
    static std::string summary(const std::string& event);
    // The summary of the next event within 10 s.
    std::string next() { return summary(next_event()); }
    // The tag moves its whole footprint into a room (two positions), so
    // that its membership settles.
    void walk_in(const std::string& tag, int x, int y) {
        position(tag, x, y);
        position(tag, x + 10, y);
    }
    std::string log() const;

    Json::Value zone_json(const std::string& uid) const;
    // The zone or tag as the server serves it, to change before serve_site().
    Json::Value& served_zone(const std::string& uid);
    Json::Value& served_tag(const std::string& uid);

    temp_dir m_dir;
    std::unique_ptr<redis_server> m_redis;
    libs::loopback_http::http_server m_http;
    zmq::context_t m_zmq;
    zmq::socket_t m_output;
    zmq::socket_t m_input;
    int m_output_port = 0;
    int m_input_port = 0;
    std::unique_ptr<child_process> m_service;
    // The password the service's configuration gives for Redis.
    std::string m_redis_password;
    // "server.timeout" of the configuration, in seconds (0: none).
    int m_server_timeout = 5;
    Json::Value m_zones{Json::arrayValue};
    Json::Value m_tags{Json::arrayValue};
    // The configuration's "metrics" object; none while null.
    Json::Value m_metrics;

private:
    std::string write_config(bool debug_output) const;
};

}  // namespace kel::test
