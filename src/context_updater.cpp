#include "context_updater.h"

#include "globals.h"
#include "metrics.h"

#include "core/exception.h"
#include "core/json.h"
#include "core/source_location.h"

#include <context_utils/not_json.h>

#include <malloc.h>

#include <cstdint>
#include <utility>

namespace kel {

namespace parsers = libs::context_utils::parsers;

namespace {

using libs::core::timestamp;

context::shape shape_of(const std::string& text) {
    return text == "polygon" ? context::shape::POLYGON : context::shape::CIRCLE;
}

std::set<std::string> to_set(const std::vector<std::string>& texts) {
    return std::set<std::string>(texts.begin(), texts.end());
}

boost::optional<std::string> to_owned(boost::optional<const std::string&> text) {
    if (!text)
        return boost::none;
    return *text;
}

// The polygon of a notified or listed zone: absent until its first point,
// each point at z = 0.
template <typename Source>
boost::optional<std::vector<context::point>> points_of(const Source& source) {
    boost::optional<std::vector<context::point>> points;
    source.for_each_point([&points](const auto& p) {
        if (!points)
            points.emplace();
        points->emplace_back(p.get_x(), p.get_y(), 0);
        return true;
    });
    return points;
}

bool same_points(const boost::optional<std::vector<context::point>>& notified,
                 boost::optional<const std::vector<context::point>&> stored) {
    if (!notified || !stored)
        return !notified && !stored;
    return *notified == *stored;
}

// The older position format gives seconds and milliseconds apart; the
// milliseconds are added as the unsigned 32-bit value the sender meant.
timestamp old_pos_time(const Json::Value& message) {
    const auto ms = static_cast<std::uint32_t>(message["ms"].asInt());
    const std::int64_t seconds = message["ts"].asInt();
    return timestamp(std::chrono::milliseconds(seconds * 1000 + ms));
}

std::string string_or_empty(const Json::Value& value) {
    return value.isString() ? value.asString() : std::string();
}

// Whether an object or a zone is on `uid` already.
bool same_sublocation(boost::optional<const std::string&> current, boost::string_view uid) {
    return current && boost::string_view(*current) == uid;
}

}  // namespace

context_updater::context_updater(context::writable_context& context, libs::core::http::client& http_client,
                                 libs::core::message_stream& stream, libs::core::logger& logger,
                                 libs::core::events_loop& loop, context_save_restore& save_restore,
                                 std::chrono::nanoseconds sync_period)
    : m_synchronizer(libs::context_utils::context_synchronizer::create(http_client, loop, logger)),
      m_context(context),
      m_notify_subscription(
          stream.subscribe("notify", [this](boost::string_view message) { on_notify_message(message); })),
      m_pos_subscription(stream.subscribe("$pos", [this](boost::string_view message) { on_pos_message(message); })),
      m_old_pos_subscription(stream.subscribe("#pos", [this](boost::string_view message) { on_old_pos(message); })),
      m_logger(logger),
      m_context_save_restore(save_restore),
      m_events_loop(loop),
      m_sync_period(sync_period),
      m_resync(loop.get_io_context(), resync_slice) {
    register_zones_callbacks();
    register_trackable_objects_callbacks();
    register_trackable_objects_groups_callbacks();
    register_trackable_objects_associations_callbacks();
    register_pos_callback();
}

void context_updater::initialize() {
    m_synchronizer->initialize();
    initialize_trackable_objects_in_zones();
    m_sync_timer = m_events_loop.create_periodic_timer(
        m_sync_period, "context_sync_timer", [this](libs::core::timer::time_point) { synchronize_context(); },
        libs::core::source_location());
}

void context_updater::register_zones_callbacks() {
    m_synchronizer->on_zone_creating([this](notified_zone& z) { on_zone_created(z); });
    m_synchronizer->on_zone_updating([this](notified_zone& z) { on_zone_updated(z); });
    m_synchronizer->on_zone_deleting([this](const std::string& uid, timestamp ts) { delete_zone(uid, ts); });
}

void context_updater::register_trackable_objects_callbacks() {
    m_synchronizer->on_trackable_object_creating(
        [this](notified_trackable_object& t) { on_trackable_object_created(t); });
    m_synchronizer->on_trackable_object_updating(
        [this](notified_trackable_object& t) { on_trackable_object_updated(t); });
    m_synchronizer->on_trackable_object_deleting(
        [this](const std::string& uid, timestamp ts) { on_trackable_object_deleted(uid, ts); });
}

void context_updater::register_trackable_objects_groups_callbacks() {
    m_synchronizer->on_trackable_object_groups_updating(
        [this](parsers::trackable_object_groups& g) { on_groups_updated(g); });
}

void context_updater::register_trackable_objects_associations_callbacks() {
    const auto on_association = [this](parsers::trackable_object_association& a) { on_association_changed(a); };
    m_synchronizer->on_trackable_object_association_creating(on_association);
    m_synchronizer->on_trackable_object_association_updating(on_association);
}

void context_updater::register_pos_callback() {
    m_synchronizer->on_pos([this](parsers::pos& pos) { on_new_pos(pos); });
}

// --- messages --------------------------------------------------------------------

// A malformed message comes back from the synchronizer (a text that is not
// JSON) or throws out of it (a wrong field); either way it is logged and
// counted here, so that one bad message never ends a turn of the loop.
void context_updater::on_notify_message(boost::string_view message) {
    handle_message(metrics::topic::notify, [&] { return m_synchronizer->handle_notify(message.to_string()); });
}

void context_updater::on_pos_message(boost::string_view message) {
    handle_message(metrics::topic::pos, [&] { return m_synchronizer->handle_pos(message); });
}

void context_updater::handle_message(metrics::topic topic,
                                     const std::function<boost::optional<libs::context_utils::not_json>()>& handle) {
    auto& counts = metrics::counts();
    counts.received(topic);
    // A text that is not JSON comes back from the synchronizer without a
    // throw; what throws is a field that is wrong.
    try {
        if (const auto error = handle()) {
            m_logger.log_exception(*error);
            counts.rejected(topic, metrics::rejection::not_json);
        }
    } catch (...) {
        m_logger.log_exception();
        counts.rejected(topic, metrics::rejection::field_error);
    }
}

// --- positions -------------------------------------------------------------------

void context_updater::on_new_pos(parsers::pos& pos) {
    const int z = pos.get_z();
    const int y = pos.get_y();
    const int x = pos.get_x();
    const boost::string_view sublocation = pos.get_sublocation_uid();
    const boost::string_view uid = pos.get_trackable_uid();
    if (!on_pos(pos.get_ts(), uid, sublocation, x, y, z))
        metrics::counts().rejected(metrics::topic::pos, metrics::rejection::unknown_object);
}

void context_updater::on_old_pos(boost::string_view message) {
    auto& counts = metrics::counts();
    counts.received(metrics::topic::old_pos);
    const auto parsed = libs::core::json::try_parse(message);
    if (!parsed.ok) {
        counts.rejected(metrics::topic::old_pos, metrics::rejection::not_json);
        return;
    }
    try {
        const Json::Value& m = parsed.result;
        const int z = m["z"].asInt();
        const int y = m["y"].asInt();
        const int x = m["x"].asInt();
        const std::string sublocation = string_or_empty(m["sl_id"]);
        const std::string uid = string_or_empty(m["dev_id"]);
        if (!on_pos(old_pos_time(m), uid, boost::string_view(sublocation), x, y, z))
            counts.rejected(metrics::topic::old_pos, metrics::rejection::unknown_object);
    } catch (...) {
        counts.rejected(metrics::topic::old_pos, metrics::rejection::field_error);
        m_logger.log_exception();
    }
}

bool context_updater::on_pos(timestamp ts, boost::string_view trackable_uid,
                             boost::optional<boost::string_view> sublocation_uid, int x, int y, int z) {
    auto object = m_context.take_trackable_objects().try_get(trackable_uid, ts);
    if (!object)
        return false;
    // The handle ends after the catch: the object's observers run once, with
    // whatever was applied, after those of its zones.
    try {
        object->set_position(context::point(x, y, z));
        if (!sublocation_uid)
            return true;
        // Nearly every position names the sublocation the object is on
        // already: the uid is copied only when it changed.
        if (!same_sublocation(object->get_sublocation_uid(), *sublocation_uid))
            object->set_sublocation_uid(sublocation_uid->to_string());
        propagate_sublocation(*object, *sublocation_uid, ts);
    } catch (...) {
        m_logger.log_exception();
    }
    return true;
}

void context_updater::propagate_sublocation(const context::trackable_object& carrier,
                                            boost::string_view sublocation_uid, timestamp ts) {
    // Read, not taken: the multi-tiered zone itself does not change, and a
    // writable handle would tell every reader of the multi-tiered zones to
    // look again at every carrier's position. Nothing the zones' observers
    // do changes it either, so its list stays as it is during the loop.
    const auto group = carrier.find_carried_zones(m_context.get_multi_tiered_zones());
    if (!group)
        return;
    for (const std::string& zone_uid : group->zones()) {
        // The handle is taken whatever the uid: the zone's observers see
        // the carrier's move.
        if (auto zone = m_context.take_zones().try_get(zone_uid, ts))
            if (!same_sublocation(zone->get_sublocation_uid(), sublocation_uid))
                zone->set_sublocation_uid(sublocation_uid.to_string());
    }
}

// --- zones -----------------------------------------------------------------------

void context_updater::on_zone_created(notified_zone& z) {
    try {
        create_zone(z);
    } catch (...) {
        m_logger.log_exception();
    }
}

void context_updater::create_zone(notified_zone& z) {
    const timestamp ts(z.get_ts(), z.get_ms());
    const std::string uid = z.get_uid();
    auto carrier = z.get_trackable_object_uid();
    auto sublocation = z.get_sublocation_uid();
    if (carrier)
        sublocation = carried_zone_sublocation(*carrier, std::move(sublocation));
    // Built in full before the zone joins its multi-tiered zone, so that a
    // malformed notification cannot leave a member that names no zone.
    context::zone zone(uid, z.get_radius(), z.get_project_uid(), std::move(sublocation), carrier, get_points(z),
                       z.get_active(), shape_of(z.get_shape()), z.get_zone_type_name(), z.get_default_allowed(),
                       to_set(z.get_zone_exceptions()), to_set(z.get_zone_exceptions_groups()));
    // A zone already stored stays as it is (the add keeps it), with its own
    // carrier and tiers: joining the notified carrier's tiers would list it
    // where it is not carried.
    const bool stored = m_context.get_zones().is_exists(uid);
    if (!stored)
        claim_uid(m_zone_uids, uid, "zone");
    if (carrier && !stored)
        join_multi_tiered_zone(*carrier, uid, ts);
    m_context.take_zones().add(std::move(zone), ts);
}

void context_updater::on_zone_updated(notified_zone& z) {
    std::set<std::string> exceptions;
    std::set<std::string> exceptions_groups;
    points zone_points;
    bool readable = true;
    try {
        exceptions = to_set(z.get_zone_exceptions());
        exceptions_groups = to_set(z.get_zone_exceptions_groups());
        zone_points = get_points(z);
    } catch (...) {
        m_logger.log_exception();
        readable = false;
    }
    const timestamp ts(z.get_ts(), z.get_ms());
    const std::string uid = z.get_uid();
    const auto existing = m_context.get_zones().try_get(uid);
    // Applying what was read of a malformed update would wipe the zone's
    // exceptions or geometry: a known zone stays exactly as it was.
    if (existing && (!readable || !zone_was_changed(z, *existing, exceptions, exceptions_groups, zone_points)))
        return;
    const auto previous_carrier = stored_carrier(uid);
    auto zone = m_context.take_zones().try_get(uid, ts);
    if (!zone) {
        m_logger.log_exception(libs::core::exception("zone not found", KEL_SOURCE_LOCATION()));
        on_zone_created(z);
        return;
    }
    try {
        apply_zone_update(*zone, z, std::move(exceptions), std::move(exceptions_groups), std::move(zone_points));
    } catch (...) {
        m_logger.log_exception();
    }
    // The tiers follow the carrier the zone ended up with, also when a
    // malformed field stopped the update half-way.
    const auto carrier = to_owned(zone->get_trackable_object_uid());
    if (carrier != previous_carrier)
        change_carrier(uid, previous_carrier, carrier, ts);
}

// The notification's own sublocation is not applied: a zone keeps the one it
// was created with, or follows its carrier.
void context_updater::apply_zone_update(context::zone& zone, notified_zone& z, std::set<std::string> exceptions,
                                        std::set<std::string> exceptions_groups, points zone_points) {
    if (const auto carrier = z.get_trackable_object_uid()) {
        const auto object = m_context.get_trackable_objects().try_get(*carrier);
        if (object && object->get_sublocation_uid())
            zone.set_sublocation_uid(*object->get_sublocation_uid());
    }
    zone.set_radius(z.get_radius());
    zone.set_project_uid(z.get_project_uid());
    zone.set_trackable_object_uid(z.get_trackable_object_uid());
    zone.set_points(std::move(zone_points));
    zone.set_active(z.get_active());
    zone.set_shape(shape_of(z.get_shape()));
    zone.set_type_name(z.get_zone_type_name());
    zone.set_default_allowed(z.get_default_allowed());
    zone.set_exceptions(std::move(exceptions));
    zone.set_exceptions_groups(std::move(exceptions_groups));
}

// Name, alarm level and priority are no part of the context, and the
// notification's own sublocation is never applied, so neither counts.
bool context_updater::zone_was_changed(notified_zone& z, const context::zone& existing,
                                       const std::set<std::string>& exceptions,
                                       const std::set<std::string>& exceptions_groups,
                                       const points& zone_points) const {
    const auto carrier = z.get_trackable_object_uid();
    if (existing.get_sublocation_uid() && carrier) {
        const auto object = m_context.get_trackable_objects().try_get(*carrier);
        if (object && object->get_sublocation_uid() &&
            *object->get_sublocation_uid() != *existing.get_sublocation_uid())
            return true;
    }
    return z.get_radius() != existing.get_radius() || z.get_project_uid() != existing.get_project_uid() ||
           carrier != to_owned(existing.get_trackable_object_uid()) ||
           !same_points(zone_points, existing.get_points()) || z.get_active() != existing.get_active() ||
           shape_of(z.get_shape()) != existing.get_shape() || z.get_zone_type_name() != existing.get_type_name() ||
           z.get_default_allowed() != existing.get_default_allowed() || exceptions != existing.get_exceptions() ||
           exceptions_groups != existing.get_exceptions_groups();
}

void context_updater::delete_zone(const std::string& uid, timestamp ts) {
    if (const auto carrier = stored_carrier(uid))
        leave_multi_tiered_zone(*carrier, uid, ts);
    release_uid(m_zone_uids, uid);
    m_context.take_zones().remove(uid, ts);
}

// --- carried zones ---------------------------------------------------------------

// A zone carried by a known object lies in that object's sublocation,
// whatever the zone itself says; nowhere when the object is in none.
boost::optional<std::string> context_updater::carried_zone_sublocation(
    const std::string& carrier, boost::optional<std::string> own_sublocation) const {
    const auto object = m_context.get_trackable_objects().try_get(carrier);
    if (!object)
        return own_sublocation;
    return to_owned(object->get_sublocation_uid());
}

// A zone that changes carrier moves to the new carrier's multi-tiered zone,
// so that no multi-tiered zone keeps a member carried by someone else.
void context_updater::change_carrier(const std::string& zone_uid, const boost::optional<std::string>& previous,
                                     const boost::optional<std::string>& carrier, timestamp ts) {
    if (previous && previous != carrier)
        leave_multi_tiered_zone(*previous, zone_uid, ts);
    if (carrier)
        join_multi_tiered_zone(*carrier, zone_uid, ts);
}

void context_updater::join_multi_tiered_zone(const std::string& carrier, const std::string& zone_uid, timestamp ts) {
    auto& groups = m_context.take_multi_tiered_zones();
    if (auto group = groups.try_get(carrier, ts)) {
        group->add_zone(zone_uid);
        return;
    }
    groups.add(context::multi_tiered_zone(carrier, zone_uid), ts);
}

void context_updater::leave_multi_tiered_zone(const std::string& carrier, const std::string& zone_uid,
                                              timestamp ts) {
    auto& groups = m_context.take_multi_tiered_zones();
    auto group = groups.try_get(carrier, ts);
    if (!group)
        return;
    group->remove_zone(zone_uid);
    // Carried out when the handle ends.
    if (!group->has_zones())
        groups.remove(carrier, ts);
}

boost::optional<std::string> context_updater::stored_carrier(const std::string& zone_uid) const {
    const auto zone = m_context.get_zones().try_get(zone_uid);
    if (!zone)
        return boost::none;
    return to_owned(zone->get_trackable_object_uid());
}

// --- trackable objects, groups, associations ---------------------------------------

void context_updater::on_trackable_object_created(notified_trackable_object& t) {
    try {
        create_trackable_object(t);
    } catch (...) {
        m_logger.log_exception();
    }
}

void context_updater::create_trackable_object(notified_trackable_object& t) {
    const timestamp ts(t.get_ts(), t.get_ms());
    const std::string uid = t.get_uid();
    const auto sublocation = t.get_sublocation_uid();
    context::trackable_object object(uid, parse_uid(uid), t.get_project_uid(), t.get_responsive().value_or(false),
                                     t.get_mac_address().has_value(), get_position(t), sublocation, get_groups(t));
    if (!m_context.get_trackable_objects().is_exists(uid))
        claim_uid(m_object_uids, uid, "trackable object");
    const auto& stored = m_context.take_trackable_objects().add(std::move(object), ts);
    if (sublocation)
        propagate_sublocation(stored, *sublocation, ts);
}

void context_updater::on_trackable_object_updated(notified_trackable_object& t) {
    const timestamp ts(t.get_ts(), t.get_ms());
    auto object = m_context.take_trackable_objects().try_get(t.get_uid(), ts);
    if (!object) {
        m_logger.log_exception(libs::core::exception("trackable not found", KEL_SOURCE_LOCATION()));
        on_trackable_object_created(t);
        return;
    }
    try {
        apply_trackable_object_update(*object, t, ts);
    } catch (...) {
        m_logger.log_exception();
    }
}

// The project uid is not updated. An update without a position keeps the
// old one, but the last position still takes a copy of it.
void context_updater::apply_trackable_object_update(context::trackable_object& object, notified_trackable_object& t,
                                                    timestamp ts) {
    object.set_responsive(t.get_responsive().value_or(false));
    object.set_associated(t.get_mac_address().has_value());
    if (object.get_position())
        object.set_last_position(*object.get_position());
    if (const auto position = get_position(t))
        object.set_position(position);
    object.set_groups(get_groups(t));
    if (const auto sublocation = t.get_sublocation_uid()) {
        object.set_sublocation_uid(*sublocation);
        propagate_sublocation(object, *sublocation, ts);
    }
}

// The zones the object carries, and their multi-tiered zone, stay: they are
// the server's to delete.
void context_updater::on_trackable_object_deleted(const std::string& uid, timestamp ts) {
    release_uid(m_object_uids, uid);
    m_context.take_trackable_objects().remove(uid, ts);
}

void context_updater::on_groups_updated(parsers::trackable_object_groups& g) {
    const timestamp ts = g.get_ts();
    g.for_each_added_group([this, ts](const parsers::trackable_object_groups::group& entry) {
        if (auto object = m_context.take_trackable_objects().try_get(entry.get_trackable_object_uid(), ts))
            object->get_groups().insert(entry.get_uid());
        return true;
    });
    g.for_each_removed_group([this, ts](const parsers::trackable_object_groups::group& entry) {
        if (auto object = m_context.take_trackable_objects().try_get(entry.get_trackable_object_uid(), ts))
            object->get_groups().erase(entry.get_uid());
        return true;
    });
}

void context_updater::on_association_changed(parsers::trackable_object_association& a) {
    if (auto object = m_context.take_trackable_objects().try_get(a.get_trackable_object_uid(), a.get_ts()))
        object->set_associated(!a.get_removed_at());
}

// --- trackable objects in zones ------------------------------------------------------

// The server lists, per zone, the objects it has seen enter; their enter
// events are taken as generated, so that a restart does not repeat them.
void context_updater::initialize_trackable_objects_in_zones() {
    m_synchronizer->for_each_zone_on_server([this](notified_zone& z) {
        // A malformed zone is skipped like at its creation; it must not keep
        // the service from starting.
        m_logger.execute([&] { initialize_trackable_objects_in_zone(z); });
        return true;
    });
}

void context_updater::initialize_trackable_objects_in_zone(notified_zone& z) {
    auto sublocation = z.get_sublocation_uid();
    if (!sublocation) {
        if (const auto carrier = z.get_trackable_object_uid())
            sublocation = carried_zone_sublocation(*carrier, boost::none);
    }
    if (!sublocation)
        return;
    const std::string zone_uid = z.get_uid();
    auto& records = m_context.take_trackable_objects_in_zones();
    z.for_each_trackable_in_zone([&](const notified_zone::trackable_in_zone& entry) {
        const std::string object_uid = entry.get_uid();
        const auto key = context::trackable_object_in_zone::make_uid(parse_uid(object_uid), zone_uid);
        auto record = records.find(key);
        if (record == records.end())
            record = records
                         .try_emplace(key, key, object_uid, zone_uid, z.get_project_uid(), *sublocation,
                                      z.get_zone_type_name())
                         .first;
        mark_event_generated(record->second);
        return true;
    });
}

// check_event may erase the record from the context: it must be the last use.
void context_updater::mark_event_generated(context::trackable_object_in_zone& record) {
    try {
        const auto zone = m_context.get_zones().try_get(record.get_zone_uid());
        record.set_event_generated(true);
        m_context_save_restore.save(record, zone);
        m_context_save_restore.check_event(record);
    } catch (...) {
        m_logger.log_exception();
    }
}

void context_updater::collect_trackables_in_zone(server_zone& zone, keys& found) const {
    const std::string zone_uid = zone.get_uid();
    zone.for_each_trackable_in_zone([&](const server_zone::trackable_in_zone& entry) {
        found.insert(context::trackable_object_in_zone::make_uid(parse_uid(entry.get_uid()), zone_uid));
        return true;
    });
}

// A record the server no longer lists forgets its enter event in memory
// only: the next position re-sends the enter if the object is still inside.
void context_updater::update_events(const keys& found) {
    auto& records = m_context.take_trackable_objects_in_zones();
    for (auto next = records.begin(); next != records.end();) {
        // Advanced first: mark_event_generated may erase the current record.
        context::trackable_object_in_zone& record = (next++)->second;
        const bool listed = found.count(record.get_uid()) != 0;
        if (listed && !record.is_event_generated())
            mark_event_generated(record);
        else if (!listed && record.is_event_generated())
            record.set_event_generated(false);
    }
}

// --- re-synchronization --------------------------------------------------------------

void context_updater::synchronize_context() {
    m_logger.debug("Synchronizing context from server...");
    m_resync.cancel();
    m_zones_request_handle = m_synchronizer->get_zones_async();
    m_zones_request_handle->set_callback([this](zones_result zones) { on_zones_from_server(std::move(zones)); });
}

// The lists of a big site take a second or more to apply, which the
// positions would otherwise wait for all at once: the task applies one zone
// or object per step, and positions are handled between its slices. Each
// step is what a change notification of that zone or object does, so a
// position between two steps is decided as it would be between two
// notifications.
void context_updater::on_zones_from_server(zones_result zones) {
    m_logger.debug("Synchronizing context from server: zones");
    if (!zones) {
        metrics::counts().resync_failed();
        m_logger.error("Context synchronization: failed to get zones from server");
        return;
    }
    auto list = std::make_shared<objects_range<server_zone>>(std::move(*zones));
    m_resync.start([this, list, next = std::size_t{0}]() mutable {
        if (next == 0)
            forget_what_server_does_not_list(*list);
        if (next < list->size())
            update_zone_from_server(*(list->begin() + next));
        if (++next < list->size())
            return true;
        request_trackable_objects();
        return false;
    });
}

void context_updater::forget_what_server_does_not_list(const objects_range<server_zone>& zones) {
    uids on_server;
    keys found;
    for (server_zone& zone : zones) {
        on_server.insert(zone.get_uid());
        collect_trackables_in_zone(zone, found);
    }
    remove_deleted_zones(on_server);
    update_events(found);
}

void context_updater::request_trackable_objects() {
    m_trackable_objects_request_handle = m_synchronizer->get_trackable_objects_async();
    m_trackable_objects_request_handle->set_callback(
        [this](trackable_objects_result objects) { on_trackable_objects_from_server(std::move(objects)); });
}

void context_updater::on_trackable_objects_from_server(trackable_objects_result objects) {
    m_logger.debug("Synchronizing context from server: trackables");
    if (!objects) {
        metrics::counts().resync_failed();
        m_logger.error("Context synchronization: failed to get trackable objects from server");
        return;
    }
    auto list = std::make_shared<objects_range<server_trackable_object>>(std::move(*objects));
    m_resync.start([this, list, on_server = uids(), next = std::size_t{0}]() mutable {
        if (next < list->size()) {
            server_trackable_object& object = *(list->begin() + next);
            m_logger.execute([&] {
                on_server.insert(object.get_uid());
                update_trackable_object_from_server(object);
            });
        }
        if (++next < list->size())
            return true;
        remove_deleted_trackable_objects(on_server);
        list.reset();
        return_freed_memory();
        metrics::counts().resync_done();
        m_logger.debug("Context synchronization complete");
        return false;
    });
}

// The lists of a big site take tens of megabytes while they are applied.
// The allocator would keep them once freed, scattered among the blocks the
// service keeps, and the service's resident size would grow by as much at
// the first re-synchronization and stay there: they go back to the system.
void context_updater::return_freed_memory() {
    malloc_trim(0);
}

void context_updater::update_zone_from_server(server_zone& s) {
    try {
        const timestamp ts = s.get_updated_at();
        const std::string uid = s.get_uid();
        auto sublocation = s.get_sublocation_uid();
        const auto carrier = s.get_trackable_object_uid();
        if (carrier)
            sublocation = carried_zone_sublocation(*carrier, std::move(sublocation));
        const auto geometry = s.get_zone_geometry();
        context::zone zone(uid, geometry ? geometry->get_radius() : boost::none, s.get_project_uid(),
                           std::move(sublocation), carrier, geometry ? points_of(*geometry) : boost::none,
                           s.get_active(), shape_of(s.get_shape()), s.get_zone_type_name(), s.get_default_allowed(),
                           to_set(s.get_zone_exceptions()), to_set(s.get_zone_exceptions_groups()));
        if (!m_context.get_zones().is_exists(uid))
            claim_uid(m_zone_uids, uid, "zone");
        change_carrier(uid, stored_carrier(uid), carrier, ts);
        m_context.take_zones().update_or_add(std::move(zone), ts);
    } catch (...) {
        m_logger.log_exception();
    }
}

void context_updater::update_trackable_object_from_server(server_trackable_object& s) {
    try {
        const timestamp ts = s.get_updated_at();
        const std::string uid = s.get_uid();
        boost::optional<context::point> position;
        boost::optional<std::string> sublocation;
        if (const auto p = s.get_position()) {
            position = context::point(p->get_x(), p->get_y(), p->get_z());
            sublocation = p->get_sl_id();
        }
        const auto groups = s.get_groups();
        const auto node = s.get_node();
        const bool responsive = node ? node->get_responsive() : false;
        if (!m_context.get_trackable_objects().is_exists(uid))
            claim_uid(m_object_uids, uid, "trackable object");
        m_context.take_trackable_objects().update_or_add(
            context::trackable_object(uid, parse_uid(uid), s.get_project_uid(), responsive, node.has_value(),
                                      position, sublocation, groups ? to_set(*groups) : std::set<std::string>()),
            ts);
        if (sublocation)
            propagate_sublocation(m_context.get_trackable_objects().get(uid), *sublocation, ts);
    } catch (...) {
        m_logger.log_exception();
    }
}

void context_updater::remove_deleted_zones(const uids& on_server) {
    const timestamp now = timestamp::current_time();
    std::vector<std::string> gone;
    for (const context::zone& zone : m_context.get_zones().get_range()) {
        if (on_server.count(zone.get_uid()) == 0)
            gone.push_back(zone.get_uid());
    }
    for (const std::string& uid : gone) {
        m_logger.debug("Context synchronization: removing zone %1% (not on server)") % uid;
        delete_zone(uid, now);
    }
}

void context_updater::remove_deleted_trackable_objects(const uids& on_server) {
    const timestamp now = timestamp::current_time();
    std::vector<std::string> gone;
    for (const context::trackable_object& object : m_context.get_trackable_objects().get_range()) {
        if (on_server.count(object.get_uid()) == 0)
            gone.push_back(object.get_uid());
    }
    for (const std::string& uid : gone) {
        m_logger.debug("Context synchronization: removing trackable object %1% (not on server)") % uid;
        release_uid(m_object_uids, uid);
        m_context.take_trackable_objects().remove(uid, now);
    }
}

// --- uids --------------------------------------------------------------------------------

// Uid texts that differ only past the 22 characters parse_uid reads, in the
// low bits of the last one, from a character it stops at on, or in the
// alphabet ('+' or '-', '/' or '_'), decode alike. Real uids never do.
void context_updater::claim_uid(claimed_uids& claimed, const std::string& uid, const char* kind) {
    const auto entry = claimed.try_emplace(parse_uid(uid), uid).first;
    if (entry->second != uid)
        KEL_THROW(std::string(kind) + " " + uid + " refused: its uid decodes like the uid of " + kind + " " +
                  entry->second);
}

void context_updater::release_uid(claimed_uids& claimed, const std::string& uid) {
    const auto entry = claimed.find(parse_uid(uid));
    if (entry != claimed.end() && entry->second == uid)
        claimed.erase(entry);
}

// --- conversions -----------------------------------------------------------------------

context_updater::points context_updater::get_points(const notified_zone& z) {
    return points_of(z);
}

boost::optional<context::point> context_updater::get_position(const notified_trackable_object& t) {
    const auto x = t.get_x();
    const auto y = t.get_y();
    const auto z = t.get_z();
    if (!x || !y || !z)
        return boost::none;
    return context::point(*x, *y, *z);
}

std::set<std::string> context_updater::get_groups(const notified_trackable_object& t) {
    const auto groups = t.get_groups();
    return groups ? to_set(*groups) : std::set<std::string>();
}

}  // namespace kel
