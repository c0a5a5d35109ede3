#include "updater/updater_fixture.h"

#include "core/json.h"

namespace kel::test {

namespace {

using namespace std::chrono_literals;

Json::Value strings(const std::vector<std::string>& texts) {
    Json::Value array(Json::arrayValue);
    for (const auto& text : texts)
        array.append(text);
    return array;
}

std::string key_of(const context::trackable_object_in_zone& record) {
    return record.get_trackable_object_uid() + "-" + record.get_zone_uid();
}

class recording_queue : public events_queue {
public:
    explicit recording_queue(std::vector<std::string>& events) : m_events(events) {}
    void send_enter(const context::trackable_object_in_zone& r, boost::optional<const context::trackable_object&>,
                    libs::core::timestamp) override {
        m_events.push_back("enter " + r.get_trackable_object_uid() + " " + r.get_zone_uid());
    }
    void send_leave(const context::trackable_object_in_zone& r, boost::optional<const context::trackable_object&>,
                    libs::core::timestamp) override {
        m_events.push_back("leave " + r.get_trackable_object_uid() + " " + r.get_zone_uid());
    }

private:
    std::vector<std::string>& m_events;
};

}  // namespace

http_server::response answer(unsigned status, std::string body) {
    http_server::response response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

std::string text_of(boost::optional<const std::string&> text) {
    return text ? *text : std::string("-");
}

std::string text_of(const boost::optional<context::point>& point) {
    if (!point)
        return "-";
    return std::to_string(point->get_x()) + "," + std::to_string(point->get_y()) + "," +
           std::to_string(point->get_z());
}

Json::Value zone_json(const zone_recipe& recipe) {
    Json::Value zone;
    zone["uid"] = recipe.uid;
    zone["name"] = recipe.name;
    zone["project_uid"] = "prj1";
    zone["shape"] = recipe.shape;
    zone["zone_type_name"] = recipe.type;
    zone["active"] = recipe.active;
    zone["default_allowed"] = false;
    zone["priority"] = 1;
    zone["zone_alarm_level"] = 2;
    zone["zone_exceptions"] = strings(recipe.exceptions);
    zone["zone_exceptions_groups"] = Json::Value(Json::arrayValue);
    zone["updated_at"] = "2023-11-14T22:13:20.123Z";
    if (!recipe.sublocation.empty())
        zone["sublocation_uid"] = recipe.sublocation;
    if (!recipe.carrier.empty())
        zone["trackable_object_uid"] = recipe.carrier;
    Json::Value& geometry = zone["zone_geometry"] = Json::Value(Json::objectValue);
    if (recipe.radius != 0)
        geometry["radius"] = recipe.radius;
    for (const auto& p : recipe.points) {
        Json::Value point;
        point["x"] = p.first;
        point["y"] = p.second;
        geometry["positions"].append(point);
    }
    Json::Value& trackables = zone["trackables_in_zone"] = Json::Value(Json::arrayValue);
    for (const auto& uid : recipe.trackables) {
        Json::Value entry;
        entry["uid"] = uid;
        trackables.append(entry);
    }
    return zone;
}

Json::Value object_json(const object_recipe& recipe) {
    Json::Value object;
    object["uid"] = recipe.uid;
    object["name"] = recipe.uid;
    object["project_uid"] = "prj1";
    object["updated_at"] = "2023-11-14T22:13:20.123Z";
    object["groups"] = strings(recipe.groups);
    object["node"]["mac_address"] = "00:11:22:33:44:55";
    object["node"]["responsive"] = true;
    if (!recipe.sublocation.empty()) {
        object["position"]["x"] = recipe.x;
        object["position"]["y"] = recipe.y;
        object["position"]["z"] = 0;
        object["position"]["sl_id"] = recipe.sublocation;
    }
    return object;
}

std::string zones_answer(const std::vector<zone_recipe>& zones) {
    Json::Value answer;
    answer["zones"] = Json::Value(Json::arrayValue);
    for (const auto& recipe : zones)
        answer["zones"].append(zone_json(recipe));
    return libs::core::json::to_string(answer);
}

std::string objects_answer(const std::vector<object_recipe>& objects) {
    Json::Value answer;
    answer["trackableObjects"] = Json::Value(Json::arrayValue);
    for (const auto& recipe : objects)
        answer["trackableObjects"].append(object_json(recipe));
    return libs::core::json::to_string(answer);
}

// --- recording fakes ------------------------------------------------------------

recording_observer::recording_observer(const context::context& context)
    : m_zones(context.get_zones().subscribe(*this)), m_objects(context.get_trackable_objects().subscribe(*this)) {}

void recording_observer::after_creating(const context::trackable_object& o, libs::core::timestamp ts) {
    record("object", o, "created");
    m_object_times.push_back(ts);
}

void recording_observer::after_updating(const context::trackable_object& o, libs::core::timestamp ts) {
    record("object", o, "updated");
    m_object_times.push_back(ts);
}

void recording_observer::before_deleting(const context::trackable_object& o, libs::core::timestamp) {
    m_changes.push_back("object " + o.get_uid() + " deleted");
}

void recording_save_restore::check_event(const context::trackable_object_in_zone& record) {
    m_calls.push_back("check " + key_of(record));
}

void recording_save_restore::save(const context::trackable_object_in_zone& record,
                                  boost::optional<const context::zone&>) {
    m_calls.push_back("save " + key_of(record) + (record.is_event_generated() ? " E" : " -"));
}

events_queue::ptr recording_sender::create_queue() {
    return std::make_unique<recording_queue>(m_events);
}

// --- fixture --------------------------------------------------------------------

updater_fixture::updater_fixture()
    : m_core(libs::core::core::create(m_logger)),
      m_loop(m_core->create_events_loop("test")),
      m_client(m_loop->create_http_client(m_server->address(), 5s)) {
    for (auto* socket : {&m_publisher, &m_log})
        socket->set(zmq::sockopt::linger, 0);
    // Unbounded, so that a burst of test messages is never dropped.
    m_publisher.set(zmq::sockopt::sndhwm, 0);
    m_publisher.bind("tcp://127.0.0.1:*");
    m_stream = m_loop->create_zmq_message_stream(m_publisher.get(zmq::sockopt::last_endpoint));
    m_log.set(zmq::sockopt::rcvtimeo, 10000);
    m_log.bind("tcp://127.0.0.1:*");
    m_logger.connect(m_log.get(zmq::sockopt::last_endpoint));
    serve({}, {});
}

updater_fixture::~updater_fixture() = default;

void updater_fixture::serve(const std::vector<zone_recipe>& zones, const std::vector<object_recipe>& objects) {
    m_server->serve("/api/private/zones/", zones_answer(zones));
    m_server->serve("/api/private/track_obj/", objects_answer(objects));
    m_server->serve("/api/private/sublocations/", R"({"sublocations":[]})");
    m_server->serve("/api/private/nodes/", R"({"nodes":[]})");
}

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

void updater_fixture::use_redis() {
    m_redis_server = std::make_unique<redis_server>();
    m_redis = std::make_unique<redis::context>("127.0.0.1", m_redis_server->port(), 10, "");
    m_persistence =
        std::make_unique<context_save_restore_impl>(*m_redis, m_sender, m_context, std::set<std::string>(), m_logger);
}

void updater_fixture::start(std::chrono::nanoseconds sync_period) {
    context_save_restore& persistence =
        m_persistence ? static_cast<context_save_restore&>(*m_persistence) : m_recording;
    m_updater = std::make_unique<context_updater>(m_context, *m_client, *m_stream, m_logger, *m_loop, persistence,
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
    auto prober = m_loop->create_periodic_timer(
        5ms, "prober", [this](auto) { publish("$probe", "{\"n\":" + std::to_string(m_probes_sent++) + "}"); },
        KEL_SOURCE_LOCATION());
    run_until([this] { return m_last_probe >= 0; });
}

void updater_fixture::notify(const std::string& object, const std::string& action, const Json::Value& plist) {
    Json::Value envelope;
    envelope["object"] = object;
    envelope["action"] = action;
    envelope["ts"] = 1700000100;
    envelope["ms"] = 5;
    envelope["project_uid"] = "prj1";
    envelope["plist"] = plist;
    publish("#notify", libs::core::json::to_string(envelope));
}

void updater_fixture::pos(const std::string& uid, int x, int y, const std::string& sublocation) {
    Json::Value message;
    message["tk_uid"] = uid;
    message["ts"] = "2023-11-14T22:15:00.000Z";
    message["data"]["x"] = x;
    message["data"]["y"] = y;
    message["data"]["z"] = 0;
    message["data"]["sl_uid"] = sublocation;
    message["data"]["type"] = "uwb";
    publish("$pos", libs::core::json::to_string(message));
}

void updater_fixture::publish(const std::string& topic, const std::string& payload) {
    m_publisher.send(zmq::buffer(topic + payload));
}

// One PUB to SUB connection keeps the order of messages, and the stream
// hands them over in that order.
void updater_fixture::settle() {
    const int probe = m_probes_sent++;
    publish("$probe", "{\"n\":" + std::to_string(probe) + "}");
    run_until([this, probe] { return m_last_probe >= probe; });
}

void updater_fixture::run_until(const std::function<bool()>& done) {
    auto check = m_loop->create_periodic_timer(
        2ms, "check",
        [&](auto) {
            if (done())
                m_loop->stop();
        },
        KEL_SOURCE_LOCATION());
    auto limit = m_loop->create_timer(
        libs::core::timer::time_point(std::chrono::steady_clock::now() + 10s), "limit",
        [this](auto) { m_loop->stop(); }, KEL_SOURCE_LOCATION());
    m_loop->get_io_context().restart();
    m_loop->run();
    ASSERT_TRUE(done()) << "timed out";
}

const context::zone* updater_fixture::zone(const std::string& uid) const {
    const auto found = m_context.get_zones().try_get(uid);
    return found ? &*found : nullptr;
}

const context::trackable_object* updater_fixture::object(const std::string& uid) const {
    const auto found = m_context.get_trackable_objects().try_get(uid);
    return found ? &*found : nullptr;
}

std::set<std::string> updater_fixture::tiers(const std::string& carrier) const {
    const auto group = m_context.get_multi_tiered_zones().try_get(carrier);
    return group ? group->zones() : std::set<std::string>();
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

std::vector<std::string> updater_fixture::changes() {
    return std::exchange(m_observer.m_changes, {});
}

// The logger's own stream orders its lines: once a marker logged now comes
// back, every earlier line has too.
std::vector<std::string> updater_fixture::new_logs() {
    const std::string marker = "-- end of lines " + std::to_string(++m_markers) + " --";
    m_logger.info(marker);
    while ((m_log_lines.empty() || m_log_lines.back() != marker) && receive_log_line(zmq::recv_flags::none)) {
    }
    std::vector<std::string> lines(m_log_lines.begin() + static_cast<std::ptrdiff_t>(m_logs_read),
                                   m_log_lines.end());
    if (!lines.empty() && lines.back() == marker)
        lines.pop_back();
    m_logs_read = m_log_lines.size();
    return lines;
}

std::size_t updater_fixture::logged(const std::string& text) {
    while (receive_log_line(zmq::recv_flags::dontwait)) {
    }
    std::size_t count = 0;
    for (const auto& line : m_log_lines)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

// Keeps the text after "&quorvane:<component> <date> <time> ".
bool updater_fixture::receive_log_line(zmq::recv_flags flags) {
    zmq::message_t message;
    if (!m_log.recv(message, flags))
        return false;
    const auto line = message.to_string();
    const auto third_blank = line.find(' ', line.find(' ', line.find(' ') + 1) + 1);
    m_log_lines.push_back(third_blank == std::string::npos ? line : line.substr(third_blank + 1));
    return true;
}

}  // namespace kel::test
