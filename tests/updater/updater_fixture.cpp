#include "updater/updater_fixture.h"

#include "support/run_until.h"

#include "core/json.h"

namespace kel::test {

using namespace std::chrono_literals;

std::string text_of(boost::optional<const std::string&> text) {
    return text ? *text : std::string("-");
}

std::string text_of(const boost::optional<context::point>& point) {
    if (!point)
        return "-";
    return std::to_string(point->get_x()) + "," + std::to_string(point->get_y()) + "," +
           std::to_string(point->get_z());
}

// --- fixture --------------------------------------------------------------------

updater_fixture::updater_fixture()
    : m_core(libs::core::core::create(m_logger)),
      m_loop(m_core->create_events_loop("test")),
      m_client(m_loop->create_http_client(m_server->address(), 5s)) {
    m_publisher.set(zmq::sockopt::linger, 0);
    // Unbounded, so that a burst of test messages is never dropped.
    m_publisher.set(zmq::sockopt::sndhwm, 0);
    m_publisher.bind("tcp://127.0.0.1:*");
    m_stream = m_loop->create_zmq_message_stream(m_publisher.get(zmq::sockopt::last_endpoint));
    serve({}, {});
}

updater_fixture::~updater_fixture() = default;

// The initial load asks for the zones twice (the load and the walk of the
// objects inside them) and for the trackable objects once.
void updater_fixture::serve_changing(const std::vector<zone_recipe>& zones, const std::vector<object_recipe>& objects,
                                     const std::vector<zone_recipe>& later_zones,
                                     const std::vector<object_recipe>& later_objects) {
    serve(zones, objects);
    m_server->serve_after("/api/private/zones/", 2, answer(200, zones_answer(zones)),
                         answer(200, zones_answer(later_zones)));
    m_server->serve_after("/api/private/track_obj/", 1, answer(200, objects_answer(objects)),
                         answer(200, objects_answer(later_objects)));
}

void updater_fixture::start(std::chrono::nanoseconds sync_period) {
    m_updater = std::make_unique<context_updater>(m_context, *m_client, *m_stream, m_logger, *m_loop, m_recording,
                                                  sync_period);
    m_updater->initialize();
    join_stream();
    changes();
    new_logs();
}

// Subscriptions reach the publisher some time after they are made (the slow
// joiner): probes are published until one comes back. The updater's topics
// were subscribed first on the same connection, so they are in place too.
void updater_fixture::join_stream() {
    m_probe_subscription = m_stream->subscribe("$probe", [this](boost::string_view message) {
        m_last_probe = std::stoi(message.substr(message.find(':') + 1).to_string());
    });
    auto prober = m_loop->create_periodic_timer(5ms, "prober", [this](auto) { probe(); }, KEL_SOURCE_LOCATION());
    run_until([this] { return m_last_probe >= 0; });
}

void updater_fixture::notify(const std::string& object, const std::string& action, const Json::Value& plist) {
    auto envelope = json(R"({"ts":1700000100,"ms":5,"project_uid":"prj1"})");
    envelope["object"] = object;
    envelope["action"] = action;
    envelope["plist"] = plist;
    publish("#notify", libs::core::json::to_string(envelope));
}

void updater_fixture::pos(const std::string& uid, int x, int y, const std::string& sublocation) {
    auto message = json(R"({"ts":"2023-11-14T22:15:00.000Z","data":{"z":0,"type":"uwb"}})");
    message["tk_uid"] = uid;
    message["data"]["x"] = x;
    message["data"]["y"] = y;
    message["data"]["sl_uid"] = sublocation;
    publish("$pos", libs::core::json::to_string(message));
}

void updater_fixture::publish(const std::string& topic, const std::string& payload) {
    m_publisher.send(zmq::buffer(topic + payload));
}

// One PUB to SUB connection keeps the order of messages, and the stream
// hands them over in that order.
void updater_fixture::settle() {
    const int sent = probe();
    run_until([this, sent] { return m_last_probe >= sent; });
}

int updater_fixture::probe() {
    publish("$probe", "{\"n\":" + std::to_string(m_probes_sent) + "}");
    return m_probes_sent++;
}

void updater_fixture::run_until(const std::function<bool()>& done) {
    ASSERT_TRUE(test::run_until(*m_loop, done)) << "timed out";
}

void updater_fixture::add_record(const std::string& object, const std::string& zone) {
    const auto key = context::trackable_object_in_zone::make_uid(parse_uid(object), zone);
    m_context.take_trackable_objects_in_zones().try_emplace(key, key, object, zone, "prj1", "sl01", "room");
}

const context::trackable_object_in_zone* updater_fixture::record(const std::string& object,
                                                                 const std::string& zone) const {
    const auto& records = m_context.get_trackable_objects_in_zones();
    const auto found = records.find(context::trackable_object_in_zone::make_uid(parse_uid(object), zone));
    return found == records.end() ? nullptr : &found->second;
}

}  // namespace kel::test
