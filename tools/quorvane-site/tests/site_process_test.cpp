// The quorvane-site binary as the service meets it: its HTTP server, the
// frames on its PUB port and the lines it prints for what arrives on its
// PULL port.
#include "core/json.h"
#include "core/timestamp.h"

#include "support/child_process.h"
#include "loopback_http/http_get.h"
#include "support/temp_dir.h"
#include "support/wait.h"

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <signal.h>

#include <memory>

namespace {

using namespace std::chrono_literals;
using kel::test::child_process;

const std::string alice = "TagAlice00000000000000";
const std::string lab = "ZoneLab100000000000000";
const std::string floor_uid = "SlFloor000000000000000";

std::string site_text(const std::string& more = "") {
    return R"({
  "sublocations": [{"uid": ")" + floor_uid + R"(", "name": "Floor"}],
  "zones": [{"uid": ")" + lab + R"(", "name": "Lab 1", "project_uid": "Project000000000000000",
             "shape": "polygon", "zone_type_name": "room", "sublocation_uid": ")" + floor_uid + R"(",
             "active": true, "default_allowed": false, "zone_exceptions": [], "zone_exceptions_groups": [],
             "zone_geometry": {"positions": [{"x": 0, "y": 0}, {"x": 5000, "y": 0}, {"x": 5000, "y": 5000}]},
             "updated_at": "2024-01-01T00:00:00.000Z"}],
  "trackableObjects": [{"uid": ")" + alice + R"(", "name": "Alice", "project_uid": "Project000000000000000",
                        "node": {"mac_address": "00:11:22:33:44:55", "responsive": true}}],
  "routes": [{"trackable_object_uid": ")" + alice + R"(", "z": 1000, "path": [[1200, 3400]]}])" +
           (more.empty() ? "" : ",\n  " + more) + "\n}";
}

Json::Value parse(const std::string& text) {
    const auto parsed = kel::libs::core::json::try_parse(text);
    EXPECT_TRUE(parsed.ok) << text;
    return parsed.result;
}

class site_process : public ::testing::Test {
protected:
    // Picks free ports and starts the site; tries again on the rare port
    // that was taken in between.
    void start(const std::string& site) {
        const std::string path = m_dir.write("site.json", site);
        for (int attempt = 0; attempt < 3; ++attempt) {
            m_http_port = kel::test::free_port();
            m_pub_port = kel::test::free_port();
            m_pull_port = kel::test::free_port();
            m_site = std::make_unique<child_process>(
                QUORVANE_SITE_BINARY,
                std::vector<std::string>{"--site", path, "--http-port", std::to_string(m_http_port), "--pub-port",
                                         std::to_string(m_pub_port), "--pull-port", std::to_string(m_pull_port),
                                         "--rate", "20", "--utc"},
                m_dir.file("output"));
            kel::test::wait_until([this] { return !m_site->running() || output().find("quorvane-site: serving") !=
                                                                            std::string::npos; });
            if (m_site->running())
                return;
        }
        FAIL() << "quorvane-site did not start:\n" << output();
    }

    Json::Value served(const std::string& path) {
        return parse(kel::libs::loopback_http::http_get("http://127.0.0.1:" + std::to_string(m_http_port) + path));
    }

    // The first frame of `topic` that reaches a fresh subscriber, or empty
    // after ten seconds.
    std::string next_frame(const std::string& topic) {
        zmq::socket_t subscriber(m_zmq, zmq::socket_type::sub);
        subscriber.set(zmq::sockopt::rcvtimeo, 100);
        subscriber.set(zmq::sockopt::subscribe, topic);
        subscriber.connect("tcp://127.0.0.1:" + std::to_string(m_pub_port));
        std::string frame;
        kel::test::wait_until([&] {
            zmq::message_t message;
            if (subscriber.recv(message))
                frame = message.to_string();
            return !frame.empty();
        });
        return frame;
    }

    void push(const std::string& message) {
        m_pusher.connect("tcp://127.0.0.1:" + std::to_string(m_pull_port));
        m_pusher.send(zmq::buffer(message), zmq::send_flags::none);
    }

    bool printed(const std::string& line) {
        return kel::test::wait_until([&] { return output().find(line + "\n") != std::string::npos; });
    }

    std::string output() const { return kel::test::read_file(m_dir.file("output")); }

    kel::test::temp_dir m_dir;
    zmq::context_t m_zmq;
    zmq::socket_t m_pusher{m_zmq, zmq::socket_type::push};
    std::unique_ptr<child_process> m_site;
    int m_http_port = 0;
    int m_pub_port = 0;
    int m_pull_port = 0;
};

TEST_F(site_process, serves_every_kind_of_object_as_an_array_under_its_name) {
    ASSERT_NO_FATAL_FAILURE(start(site_text()));
    const Json::Value zones = served("/api/private/zones/");
    ASSERT_TRUE(zones["zones"].isArray());
    EXPECT_EQ(zones["zones"][0]["uid"], lab);
    EXPECT_EQ(zones["zones"][0]["name"], "Lab 1");
    const Json::Value objects = served("/api/private/track_obj/");
    ASSERT_TRUE(objects["trackableObjects"].isArray());
    EXPECT_EQ(objects["trackableObjects"][0]["uid"], alice);
    EXPECT_EQ(served("/api/private/sublocations/")["sublocations"][0]["uid"], floor_uid);
    EXPECT_EQ(served("/api/private/nodes/")["nodes"], Json::Value(Json::arrayValue));
    EXPECT_EQ(served("/api/private/win_anchors/")["win_anchors"], Json::Value(Json::arrayValue));
    EXPECT_EQ(served("/api/private/alarms/")["alarms"], Json::Value(Json::arrayValue));
}

TEST_F(site_process, publishes_a_position_as_its_topic_followed_by_the_json_object) {
    ASSERT_NO_FATAL_FAILURE(start(site_text()));
    const std::string frame = next_frame("$pos");
    ASSERT_EQ(frame.rfind("$pos{", 0), 0u) << frame;
    const Json::Value position = parse(frame.substr(4));
    EXPECT_EQ(position["tk_uid"], alice);
    ASSERT_TRUE(position["ts"].isString());
    const auto ts = kel::libs::core::timestamp::try_parse(position["ts"].asString());
    ASSERT_TRUE(ts);
    EXPECT_LT(std::abs((kel::libs::core::timestamp::current_time() - *ts).count()), 60000);
    EXPECT_EQ(position["data"]["x"], 1200);
    EXPECT_EQ(position["data"]["y"], 3400);
    EXPECT_EQ(position["data"]["z"], 1000);
    EXPECT_EQ(position["data"]["sl_uid"], floor_uid);
    EXPECT_EQ(position["data"]["mac"], "00:11:22:33:44:55");
    EXPECT_TRUE(position["data"]["type"].isString());
}

TEST_F(site_process, prints_a_pushed_event_as_one_line_with_the_names_of_the_site) {
    ASSERT_NO_FATAL_FAILURE(start(site_text()));
    push("#zone_event " + kel::libs::core::json::to_string(parse(R"({"action": "enter", "ms": 120,
        "obj_uid": ")" + alice + R"(", "project_uid": "Project000000000000000", "sublocation_uid": ")" +
                                                                 floor_uid + R"(", "ts": 1700000003,
        "x": 1200, "y": 3400, "z": 1000, "zone_type_name": "room", "zone_uid": ")" + lab + R"("})")));
    EXPECT_TRUE(printed(R"(22:13:23.120 ENTER  tag "Alice" -> zone "Lab 1" (room) at (1200, 3400))")) << output();
}

TEST_F(site_process, stops_at_sigterm_with_a_summary) {
    ASSERT_NO_FATAL_FAILURE(start(site_text()));
    m_site->send_signal(SIGTERM);
    EXPECT_EQ(m_site->wait_exit(10s), 0);
    EXPECT_NE(output().find("stopped; 0 ENTER and 0 LEAVE received"), std::string::npos) << output();
}

}  // namespace
