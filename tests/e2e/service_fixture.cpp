#include "e2e/service_fixture.h"

#include "support/site.h"
#include "support/wait.h"

#include "core/json.h"
#include "core/timestamp.h"

#include <signal.h>

#include <set>
#include <stdexcept>

namespace kel::test {

namespace {

template <typename List>
auto& find_by_uid(List& list, const std::string& uid) {
    for (auto& entry : list)
        if (entry["uid"].asString() == uid)
            return entry;
    throw std::runtime_error("none served as " + uid);
}

int bind_free(zmq::socket_t& socket) {
    socket.bind("tcp://127.0.0.1:*");
    const std::string endpoint = socket.get(zmq::sockopt::last_endpoint);
    return std::stoi(endpoint.substr(endpoint.rfind(':') + 1));
}

}  // namespace

service_fixture::service_fixture()
    : m_redis(std::make_unique<redis_server>()),
      m_output(m_zmq, zmq::socket_type::xpub),
      m_input(m_zmq, zmq::socket_type::pull) {
    m_output.set(zmq::sockopt::sndhwm, 0);
    m_output.set(zmq::sockopt::linger, 0);
    m_input.set(zmq::sockopt::linger, 0);
    m_output_port = bind_free(m_output);
    m_input_port = bind_free(m_input);
    serve_site();
}

service_fixture::~service_fixture() {
    if (m_service && m_service->running())
        stop();
}

void service_fixture::add_room(const std::string& uid, int x0, int y0, int x1, int y1,
                               const std::string& sublocation) {
    m_zones.append(test::zone_json(room(uid, x0, y0, x1, y1, sublocation)));
}

void service_fixture::add_circle(const std::string& uid, const std::string& carrier, int radius) {
    m_zones.append(test::zone_json(carried_circle(uid, carrier, radius)));
}

void service_fixture::add_tag(const std::string& uid, const std::string& sublocation) {
    object_recipe tag(uid, sublocation);
    tag.has_coordinates = false;
    m_tags.append(object_json(tag));
}

void service_fixture::remove_zone_on_server(const std::string& uid) {
    Json::Value kept(Json::arrayValue);
    for (const auto& z : m_zones)
        if (z["uid"].asString() != uid)
            kept.append(z);
    m_zones = kept;
    serve_site();
}

void service_fixture::place_tag(const std::string& uid, int x, int y) {
    Json::Value& position = served_tag(uid)["position"];
    position["x"] = x;
    position["y"] = y;
    position["z"] = 0;
}

Json::Value service_fixture::zone_json(const std::string& uid) const {
    return find_by_uid(m_zones, uid);
}

Json::Value& service_fixture::served_zone(const std::string& uid) {
    return find_by_uid(m_zones, uid);
}

Json::Value& service_fixture::served_tag(const std::string& uid) {
    return find_by_uid(m_tags, uid);
}

void service_fixture::serve_site() {
    test::serve_site(m_http, m_zones, m_tags);
}

std::string service_fixture::write_config(bool debug_output) const {
    Json::Value c;
    c["proxy"]["address"] = "127.0.0.1";
    c["proxy"]["output_port"] = m_output_port;
    c["proxy"]["input_port"] = m_input_port;
    c["server"]["protocol"] = "http";
    c["server"]["address"] = "127.0.0.1:" + std::to_string(m_http.port());
    c["server"]["timeout"] = m_server_timeout;
    c["redis"]["host"] = "127.0.0.1";
    c["redis"]["port"] = m_redis->port();
    c["redis"]["password"] = m_redis_password;
    c["system"]["pidfile"] = m_dir.file("quorvane.pid");
    c["ignored_zone_types"] = Json::arrayValue;
    c["debug"]["debug_output"] = debug_output;
    if (!m_metrics.isNull())
        c["metrics"] = m_metrics;
    return m_dir.write("quorvane.json", libs::core::json::to_string(c));
}

void service_fixture::start(bool debug_output) {
    launch(debug_output);
    wait_ready();
}

void service_fixture::launch(bool debug_output) {
    m_service = std::make_unique<child_process>(QUORVANE_BINARY,
                                                std::vector<std::string>{"-c", write_config(debug_output)},
                                                m_dir.file("service.log"));
}

bool service_fixture::wait_log(const std::string& text, std::chrono::milliseconds timeout) {
    return wait_until([&] { return log().find(text) != std::string::npos; }, timeout);
}

void service_fixture::wait_ready() {
    // XPUB hands us one message per new subscription: "\x01" + topic.
    std::set<std::string> topics;
    m_output.set(zmq::sockopt::rcvtimeo, 100);
    const bool ready = wait_until(
        [&] {
            zmq::message_t m;
            while (m_output.recv(m, zmq::recv_flags::dontwait)) {
                const auto text = m.to_string();
                if (!text.empty() && text[0] == 1)
                    topics.insert(text.substr(1));
            }
            return topics.size() >= 3 || !m_service->running();
        },
        std::chrono::seconds(20));
    if (!ready || topics.size() < 3)
        throw std::runtime_error("quorvane did not subscribe; log:\n" + log());
}

int service_fixture::stop() {
    m_service->send_signal(SIGTERM);
    const auto status = m_service->wait_exit(std::chrono::seconds(20));
    return status ? *status : -1;
}

void service_fixture::position(const std::string& tag, int x, int y, const std::string& sublocation,
                               const std::string& ts) {
    Json::Value p;
    p["tk_uid"] = tag;
    p["ts"] = ts.empty() ? libs::core::timestamp::current_time().to_iso_8601(true, 'T', true) : ts;
    p["data"]["x"] = x;
    p["data"]["y"] = y;
    p["data"]["z"] = 0;
    p["data"]["sl_uid"] = sublocation;
    p["data"]["type"] = "position";
    const auto text = "$pos" + libs::core::json::to_string(p);
    m_output.send(zmq::buffer(text));
}

void service_fixture::notify(const std::string& object, const std::string& action, const Json::Value& plist,
                             libs::core::timestamp ts) {
    Json::Value n;
    n["object"] = object;
    n["action"] = action;
    n["ts"] = static_cast<Json::UInt>(ts.get_ts());
    n["ms"] = ts.get_ms();
    n["plist"] = plist;
    const auto text = "#notify" + libs::core::json::to_string(n);
    m_output.send(zmq::buffer(text));
}

std::string service_fixture::next_event(std::chrono::milliseconds timeout) {
    m_input.set(zmq::sockopt::rcvtimeo, static_cast<int>(timeout.count()));
    zmq::message_t m;
    if (!m_input.recv(m))
        return "";
    return m.to_string();
}

std::vector<std::string> service_fixture::events_within(std::chrono::milliseconds quiet) {
    std::vector<std::string> events;
    for (auto e = next_event(quiet); !e.empty(); e = next_event(quiet))
        events.push_back(e);
    return events;
}

std::string service_fixture::summary(const std::string& event) {
    const std::string prefix = "#zone_event ";
    if (event.rfind(prefix, 0) != 0)
        return "<not an event: " + event + ">";
    const auto json = libs::core::json::try_parse(event.substr(prefix.size()));
    if (!json.ok)
        return "<bad json: " + event + ">";
    return json.result["action"].asString() + " " + json.result["obj_uid"].asString() + " " +
           json.result["zone_uid"].asString();
}

std::string service_fixture::log() const {
    return read_file(m_dir.file("service.log"));
}

}  // namespace kel::test
