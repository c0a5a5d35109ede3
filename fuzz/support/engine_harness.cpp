#include "support/engine_harness.h"

#include "core/core.h"
#include "core/json.h"
#include "core/zmq/async_socket.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

namespace kel::fuzz {

namespace {

// Built once per process and never destroyed: libFuzzer leaves through
// exit(), and a fuzz target has no place to tear them down in order.
struct environment {
    environment()
        : logger("quorvane", "fuzz"),
          core(libs::core::core::create(logger)),
          loop(core->create_events_loop("fuzz loop")),
          events_socket(loop->get_io_context(), zmq::socket_type::push) {
        // Lines still go to syslog; the debug socket has no reader here.
        logger.set_writing_to_socket(false);
        // Most fuzz inputs are rejected, and describing each caught
        // exception and writing it to syslog took a fifth of the run; the
        // logger's own tests cover those lines.
        logger.set_logger_enabled(false);
    }

    libs::core::logger logger;
    libs::core::core::ptr core;
    libs::core::events_loop::ptr loop;
    // Never connected: the harness's sender does not transmit.
    libs::core::zmq::async_socket events_socket;
};

environment& env() {
    static auto* instance = new environment();
    return *instance;
}

constexpr std::chrono::hours never_due(24 * 365 * 100);

std::string text_or_dash(boost::optional<const std::string&> text) {
    return text ? *text : std::string("-");
}

std::string creation(const char* object, const Json::Value& plist) {
    Json::Value message(Json::objectValue);
    message["object"] = object;
    message["action"] = "created";
    message["ts"] = 1700000000;
    message["ms"] = 0;
    message["plist"] = plist;
    return libs::core::json::to_string(message);
}

// The message that removes the zone or object `uid`. Written by hand: a
// uid that came in as bytes which are not UTF-8 must go out as the same
// bytes, which a JSON writer would not keep.
std::string removal(const char* object, const std::string& uid) {
    std::string quoted;
    for (const char c : uid) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return std::string("{\"object\":\"") + object + "\",\"action\":\"deleted\",\"ts\":1700000000,\"ms\":0," +
           "\"plist\":{\"uid\":\"" + quoted + "\"}}";
}

// Per uid, the message that creates each entry of the site's list `name`.
std::map<std::string, std::string> creations(const Json::Value& site, const char* name, const char* object) {
    std::map<std::string, std::string> messages;
    const Json::Value& list = site.isObject() ? site[name] : Json::Value::nullSingleton();
    if (!list.isArray())
        return messages;
    for (const auto& entry : list)
        if (entry.isObject() && entry["uid"].isString())
            messages.emplace(entry["uid"].asString(), creation(object, entry));
    return messages;
}

template <typename T>
std::set<std::string> uids_of(const T& objects) {
    std::set<std::string> uids;
    for (const auto& object : objects)
        uids.insert(object.get_uid());
    return uids;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::abort();
}

}  // namespace

const std::string& engine_harness::small_site() {
    static const std::string site = R"({
"zones": [
 {"uid": "room", "name": "Room", "project_uid": "prj1", "shape": "polygon", "zone_type_name": "room",
  "active": true, "default_allowed": false, "priority": 1, "zone_alarm_level": 0, "sublocation_uid": "sl01",
  "zone_exceptions": [], "zone_exceptions_groups": [], "updated_at": "2023-11-14T22:13:20.123Z",
  "zone_geometry": {"positions": [{"x": 0, "y": 0}, {"x": 1000, "y": 0}, {"x": 1000, "y": 1000}, {"x": 0, "y": 1000}]},
  "trackables_in_zone": [{"uid": "tag1", "entered": {"time": "2023-11-14T22:13:20.123Z", "x": 1, "y": 2, "z": 0}}]},
 {"uid": "hall", "name": "Hall", "project_uid": "prj1", "shape": "polygon", "zone_type_name": "room",
  "active": true, "default_allowed": false, "priority": 1, "zone_alarm_level": 0, "sublocation_uid": "sl01",
  "zone_exceptions": [], "zone_exceptions_groups": [], "updated_at": "2023-11-14T22:13:20.123Z",
  "zone_geometry": {"positions": [{"x": 900, "y": 0}, {"x": 3000, "y": 0}, {"x": 2000, "y": 1500}]},
  "trackables_in_zone": []},
 {"uid": "keep", "name": "Keep in", "project_uid": "prj1", "shape": "polygon", "zone_type_name": "keep_in",
  "active": true, "default_allowed": false, "priority": 1, "zone_alarm_level": 0, "sublocation_uid": "sl01",
  "zone_exceptions": [], "zone_exceptions_groups": [], "updated_at": "2023-11-14T22:13:20.123Z",
  "zone_geometry": {"positions": [{"x": -5000, "y": -5000}, {"x": 5000, "y": -5000}, {"x": 5000, "y": 5000}, {"x": -5000, "y": 5000}]},
  "trackables_in_zone": []},
 {"uid": "deny", "name": "Deny", "project_uid": "prj1", "shape": "polygon", "zone_type_name": "restricted",
  "active": true, "default_allowed": true, "priority": 1, "zone_alarm_level": 0, "sublocation_uid": "sl01",
  "zone_exceptions": ["tag2"], "zone_exceptions_groups": ["grp1"], "updated_at": "2023-11-14T22:13:20.123Z",
  "zone_geometry": {"positions": [{"x": 200, "y": 200}, {"x": 800, "y": 200}, {"x": 800, "y": 800}, {"x": 200, "y": 800}]},
  "trackables_in_zone": []},
 {"uid": "idle", "name": "Idle", "project_uid": "prj1", "shape": "polygon", "zone_type_name": "room",
  "active": false, "default_allowed": false, "priority": 1, "zone_alarm_level": 0, "sublocation_uid": "sl02",
  "zone_exceptions": [], "zone_exceptions_groups": [], "updated_at": "2023-11-14T22:13:20.123Z",
  "zone_geometry": {"positions": [{"x": 0, "y": 0}, {"x": 100, "y": 0}, {"x": 100, "y": 100}]},
  "trackables_in_zone": []},
 {"uid": "cir1", "name": "Near", "project_uid": "prj1", "shape": "circle", "zone_type_name": "vehicle",
  "active": true, "default_allowed": false, "priority": 1, "zone_alarm_level": 0, "trackable_object_uid": "car1",
  "zone_exceptions": [], "zone_exceptions_groups": [], "updated_at": "2023-11-14T22:13:20.123Z",
  "zone_geometry": {"radius": 300}, "trackables_in_zone": []},
 {"uid": "cir2", "name": "Far", "project_uid": "prj1", "shape": "circle", "zone_type_name": "vehicle",
  "active": true, "default_allowed": false, "priority": 1, "zone_alarm_level": 0, "trackable_object_uid": "car1",
  "zone_exceptions": [], "zone_exceptions_groups": [], "updated_at": "2023-11-14T22:13:20.123Z",
  "zone_geometry": {"radius": 600}, "trackables_in_zone": []}
],
"trackableObjects": [
 {"uid": "tag1", "name": "Tag 1", "project_uid": "prj1", "updated_at": "2023-11-14T22:13:20.123Z", "groups": [],
  "node": {"mac_address": "00:11:22:33:44:01", "responsive": true}, "position": {"x": 500, "y": 500, "z": 0, "sl_id": "sl01"}},
 {"uid": "tag2", "name": "Tag 2", "project_uid": "prj1", "updated_at": "2023-11-14T22:13:20.123Z", "groups": ["grp1"],
  "node": {"mac_address": "00:11:22:33:44:02", "responsive": true}, "position": {"x": 2500, "y": 200, "z": 0, "sl_id": "sl01"}},
 {"uid": "tag3", "name": "Tag 3", "project_uid": "prj1", "updated_at": "2023-11-14T22:13:20.123Z",
  "node": {"mac_address": "00:11:22:33:44:03", "responsive": true}},
 {"uid": "car1", "name": "Forklift", "project_uid": "prj1", "updated_at": "2023-11-14T22:13:20.123Z", "groups": [],
  "node": {"mac_address": "00:11:22:33:44:04", "responsive": true}, "position": {"x": 1500, "y": 300, "z": 0, "sl_id": "sl01"}}
],
"sublocations": [],
"nodes": []
})";
    return site;
}

libs::core::events_loop& engine_harness::loop() {
    return *env().loop;
}

libs::core::logger& engine_harness::logger() {
    return env().logger;
}

engine_harness::engine_harness(std::string site)
    : m_client(loop(), std::move(site)),
      m_sender(env().events_socket, logger(), false, false),
      m_save_restore(m_sender, m_context),
      m_zones_watch(m_context.get_zones().subscribe(m_change_watch)),
      m_objects_watch(m_context.get_trackable_objects().subscribe(m_change_watch)),
      m_groups_watch(m_context.get_multi_tiered_zones().subscribe(m_change_watch)) {
    // Records change only with a save (or a removal that check_event makes
    // after one), and the index learns of them from the same signal.
    m_save_watch = m_save_restore.do_on_save([this](const auto&, auto) { ++m_changes; });
    m_records_watch = m_context.take_trackable_objects_in_zones().on_erase([this](const auto&) { ++m_changes; });
    m_enter_connection = m_sender.do_on_enter_event(
        [this](const context::trackable_object_in_zone& r, auto, auto) { on_event(true, r); });
    m_leave_connection = m_sender.do_on_leave_event(
        [this](const context::trackable_object_in_zone& r, auto, auto) { on_event(false, r); });
    // The periodic re-synchronization never comes due: a harness may serve
    // a whole campaign, and one that ran in the middle of an input would
    // make its outcome depend on when it ran (it also forgets the enter
    // events of records that the server does not list).
    m_updater = std::make_unique<context_updater>(m_context, m_client, m_stream, logger(), loop(), m_save_restore,
                                                  never_due);
    m_zones_index = std::make_unique<zones_index>(m_save_restore, m_sender, m_context, logger());
}

// The components go first, then the loop runs what they left behind (the
// cancelled waits of their timers), so that nothing piles up in it from one
// input to the next.
engine_harness::~engine_harness() {
    m_events_generator.reset();
    m_zones_index.reset();
    m_updater.reset();
    drain_loop();
}

void engine_harness::load() {
    m_updater->initialize();
    m_save_restore.restore();
    start_engine();
}

void engine_harness::start_engine() {
    m_events_generator = std::make_unique<events_generator>(m_context, m_save_restore, m_sender, *m_zones_index,
                                                            logger(), std::set<std::string>{"ignored"});
    update_every_object();
    drain_loop();
}

void engine_harness::keep_as_start() {
    m_start = std::make_unique<context_snapshot>(m_context);
    const auto site = libs::core::json::try_parse(m_client.body()).result;
    m_zone_creations = creations(site, "zones", "ZONE");
    m_object_creations = creations(site, "trackableObjects", "TRACKABLE_OBJECT");
    m_save_restore.keep_as_start();
    m_start_last_events = m_last_event_was_enter;
    m_identities_changed = false;
    m_changed.clear();
    ++m_changes;
    m_events.clear();
}

// The index and the generator go first, so that no one decides anything
// while the context is put back, and come back new: what they learnt from
// the last input goes with them.
bool engine_harness::reset() {
    if (m_changes == m_changes_at_reset)
        return true;
    m_events_generator.reset();
    m_zones_index.reset();
    if (m_identities_changed && !bring_back_identities())
        return false;
    m_start->restore(m_context, m_changed);
    m_identities_changed = false;
    m_save_restore.back_to_start();
    m_last_event_was_enter = m_start_last_events;
    m_violation.clear();
    m_zones_index = std::make_unique<zones_index>(m_save_restore, m_sender, m_context, logger());
    start_engine();
    m_events.clear();
    // Showing the generator every zone and object touched them all, and
    // left them as captured.
    m_changed.clear();
    m_changes_at_reset = m_changes;
    return true;
}

// Newcomers go first, as one may hold a uid that decodes like the uid of
// one that went; objects come back before zones, which they may carry, as
// in the initial load.
bool engine_harness::bring_back_identities() {
    const auto start_zones = uids_of(m_start->zones());
    const auto start_objects = uids_of(m_start->trackable_objects());
    const auto remove = [this](const char* object, const std::string& uid) {
        deliver("notify", removal(object, uid));
    };
    const auto bring_back = [this](const std::map<std::string, std::string>& creations, const std::string& uid) {
        const auto creation = creations.find(uid);
        if (creation != creations.end())
            deliver("notify", creation->second);
    };
    for (const auto& uid : uids_of(m_context.get_zones().get_range()))
        if (start_zones.count(uid) == 0)
            remove("ZONE", uid);
    for (const auto& uid : uids_of(m_context.get_trackable_objects().get_range()))
        if (start_objects.count(uid) == 0)
            remove("TRACKABLE_OBJECT", uid);
    for (const auto& uid : start_objects)
        if (!m_context.get_trackable_objects().is_exists(uid))
            bring_back(m_object_creations, uid);
    for (const auto& uid : start_zones)
        if (!m_context.get_zones().is_exists(uid))
            bring_back(m_zone_creations, uid);
    return uids_of(m_context.get_zones().get_range()) == start_zones &&
           uids_of(m_context.get_trackable_objects().get_range()) == start_objects;
}

std::string engine_harness::outcome() const {
    std::string text = m_events;
    std::map<std::string, std::string> records;
    for (const auto& entry : m_context.get_trackable_objects_in_zones()) {
        const auto& r = entry.second;
        records[r.get_trackable_object_uid() + "-" + r.get_zone_uid()] =
            std::string{char('0' + r.is_in_zone()), char('0' + r.is_event_generated()),
                        char('0' + r.is_leave_generated()), char('0' + r.is_in_debouncing_state())};
    }
    for (const auto& entry : records)
        text += "record " + entry.first + ":" + entry.second + "\n";
    text += m_save_restore.describe();
    for (const context::trackable_object& o : m_context.get_trackable_objects().get_range()) {
        text += "object " + o.get_uid() + " " + text_or_dash(o.get_sublocation_uid());
        if (const auto& p = o.get_position())
            text += " " + std::to_string(p->get_x()) + "," + std::to_string(p->get_y()) + "," +
                    std::to_string(p->get_z());
        text += "\n";
    }
    for (const context::zone& z : m_context.get_zones().get_range())
        text += "zone " + z.get_uid() + " " + text_or_dash(z.get_sublocation_uid()) + " " +
                text_or_dash(z.get_trackable_object_uid()) + "\n";
    return text;
}

void engine_harness::update_every_object() {
    const auto now = libs::core::timestamp::current_time();
    std::vector<std::string> uids;
    for (const context::zone& z : m_context.get_zones().get_range())
        uids.push_back(z.get_uid());
    for (const auto& uid : uids)
        m_context.take_zones().try_get(uid, now);
    uids.clear();
    for (const context::trackable_object& o : m_context.get_trackable_objects().get_range())
        uids.push_back(o.get_uid());
    for (const auto& uid : uids)
        m_context.take_trackable_objects().try_get(uid, now);
}

void engine_harness::deliver(boost::string_view topic, boost::string_view payload) {
    m_stream.deliver(topic, payload);
    drain_loop();
}

// A loop that ran out of work counts as stopped, and the initial load
// refuses to run on a stopped loop ("Interrupted"): it is left restarted.
void engine_harness::drain_loop() {
    auto& io = loop().get_io_context();
    io.restart();
    io.poll();
    io.restart();
}

void engine_harness::on_event(bool enter, const context::trackable_object_in_zone& record) {
    const auto id = record.get_trackable_object_uid() + "-" + record.get_zone_uid();
    m_events += (enter ? "ENTER " : "LEAVE ") + id + "\n";
    ++m_changes;
    auto& last = m_last_event_was_enter[id];
    if (enter && last && m_violation.empty())
        m_violation = "ENTER repeated without a LEAVE: " + id;
    last = enter;
}

void engine_harness::check_invariants() {
    if (m_changes == m_changes_at_check)
        return;
    m_changes_at_check = m_changes;
    if (!m_violation.empty())
        fail(m_violation);
    const auto difference = m_save_restore.difference_from_context();
    if (!difference.empty())
        fail(difference);
    for (const context::multi_tiered_zone& group : m_context.get_multi_tiered_zones().get_range()) {
        if (!group.has_zones())
            fail("empty multi-tiered zone: " + group.get_uid());
        for (const auto& member : group.zones()) {
            const auto zone = m_context.get_zones().try_get(member);
            const auto carrier = zone ? zone->get_trackable_object_uid() : boost::none;
            if (zone && (!carrier || *carrier != group.get_uid()))
                fail("zone " + member + " listed in the tiers of " + group.get_uid() + " but carried otherwise");
        }
    }
    for (const context::zone& zone : m_context.get_zones().get_range()) {
        const auto carrier = zone.get_trackable_object_uid();
        if (!carrier)
            continue;
        const auto group = m_context.get_multi_tiered_zones().try_get(*carrier);
        if (!group || !group->has_zone(zone.get_uid()))
            fail("carried zone " + zone.get_uid() + " missing from the tiers of " + *carrier);
    }
}

}  // namespace kel::fuzz
