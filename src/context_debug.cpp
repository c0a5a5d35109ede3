#include "context_debug.h"

#include <string>

namespace kel {

namespace {

const std::string zones_set_key = "quorvane:zones:set";
const std::string zone_key_prefix = "quorvane:zones:";
const std::string trackable_objects_set_key = "quorvane:trackable_objects:set";
const char* const zone_delete_format = "DEL quorvane:zones:%s";
const char* const trackable_object_delete_format = "DEL quorvane:trackable_objects:%s";
const std::string absent = "--";

const char* to_text(bool flag) {
    return flag ? "true" : "false";
}

const std::string& or_absent(boost::optional<const std::string&> uid) {
    return uid ? *uid : absent;
}

const char* to_text(context::shape shape) {
    return shape == context::shape::CIRCLE ? "CIRCLE" : "POLYGON";
}

}  // namespace

context_debug::context_debug(const context::context& context, redis::context& redis_context)
    : m_redis_context(redis_context),
      m_zones_subscription_handle(context.get_zones().subscribe(*this)),
      m_trackable_objects_subscription_handle(context.get_trackable_objects().subscribe(*this)),
      m_seen_reconnects(redis_context.get_reconnects()) {
    clear_mirrored(zones_set_key, zone_delete_format);
    clear_mirrored(trackable_objects_set_key, trackable_object_delete_format);
}

context_debug::cache context_debug::make_cached(const context::trackable_object& object) {
    return cache{object.get_responsive(), object.get_associated()};
}

void context_debug::clear_mirrored(const std::string& set_key, const char* delete_format) {
    const auto members = m_redis_context.get_set_members(set_key);
    members.as_array().for_each_element([&](const redis::reply_element& member) {
        const auto uid = member.to_string();
        m_redis_context.execute_command(delete_format, uid.c_str());
        m_redis_context.execute_command_argv({"SREM", set_key.c_str(), uid.c_str()});
        return true;
    });
}

void context_debug::after_creating(const context::zone& zone, libs::core::timestamp ts) {
    write_zone(zone, ts);
}

void context_debug::after_updating(const context::zone& zone, libs::core::timestamp ts) {
    write_zone(zone, ts);
}

void context_debug::before_deleting(const context::zone& zone, libs::core::timestamp) {
    delete_zone(zone);
}

void context_debug::after_creating(const context::trackable_object& object, libs::core::timestamp ts) {
    write_trackable_object(object, ts);
}

void context_debug::after_updating(const context::trackable_object& object, libs::core::timestamp ts) {
    write_trackable_object(object, ts);
}

void context_debug::before_deleting(const context::trackable_object& object, libs::core::timestamp) {
    delete_trackable_object(object);
}

void context_debug::write_zone(const context::zone& zone, libs::core::timestamp ts) {
    const auto& uid = zone.get_uid();
    const auto radius = zone.get_radius() ? std::to_string(*zone.get_radius()) : std::string("-1");
    const auto& sublocation_uid = or_absent(zone.get_sublocation_uid());
    const auto& trackable_object_uid = or_absent(zone.get_trackable_object_uid());
    // A carrier's every position rewrites its zones: the key and the time
    // are written into buffers kept for it, and the commands formatted from
    // views, without a format string to parse. Each change's two commands
    // go to Redis in one round trip.
    m_zone_key.assign(zone_key_prefix).append(uid);
    ts.serialize_into(m_serialized_ts);
    const auto& serialized_ts = m_serialized_ts;
    m_redis_context.append_command_views(
        {"HMSET", m_zone_key, "uid", uid, "radius", radius, "sublocation_uid", sublocation_uid,
         "trackable_object_uid", trackable_object_uid, "active", to_text(zone.get_active()), "shape",
         to_text(zone.get_shape()), "type_name", zone.get_type_name(), "default_allowed",
         to_text(zone.get_default_allowed()), "ts", serialized_ts});
    m_redis_context.append_command_views({"SADD", zones_set_key, uid});
    m_redis_context.flush_appended();
}

void context_debug::delete_zone(const context::zone& zone) {
    m_redis_context.append_command(zone_delete_format, zone.get_uid().c_str());
    m_redis_context.append_command_argv({"SREM", zones_set_key.c_str(), zone.get_uid().c_str()});
    m_redis_context.flush_appended();
}

void context_debug::write_trackable_object(const context::trackable_object& object, libs::core::timestamp ts) {
    forget_cache_after_reconnect();
    // Nearly every report is a position of an object whose flags are those
    // the mirror last found it with: its hint tells so without a lookup.
    // The hint holds while the object's inputs are those it had then (their
    // version moves at every change and is never reused) and the cache
    // forgot nothing since (the epoch).
    const context::trackable_object::mirror_hint seen{object.get_inputs_version(), m_cache_epoch};
    if (object.get_mirror_hint() == seen)
        return;
    const auto cached = make_cached(object);
    const auto entry = m_trackable_objects_cache.find(object.get_uid_bytes());
    if (entry != m_trackable_objects_cache.end() && entry->second == cached) {
        object.set_mirror_hint(seen);
        return;
    }

    const auto& uid = object.get_uid();
    const auto serialized_ts = ts.serialize();
    m_redis_context.append_command(
        "HMSET quorvane:trackable_objects:%s uid %s project_uid %s responsive %s associated %s ts %s", uid.c_str(),
        uid.c_str(), object.get_project_uid().c_str(), to_text(object.get_responsive()),
        to_text(object.get_associated()), serialized_ts.c_str());
    m_redis_context.append_command_argv({"SADD", trackable_objects_set_key.c_str(), uid.c_str()});
    m_redis_context.flush_appended();
    // Cached only once written, so that a failed write is tried again at
    // the next report.
    m_trackable_objects_cache.insert_or_assign(object.get_uid_bytes(), cached);
    object.set_mirror_hint(seen);
    if (m_redis_context.in_burst())
        m_cached_in_burst.push_back(object.get_uid_bytes());
}

void context_debug::burst_sent() {
    m_cached_in_sent.swap(m_cached_in_burst);
    m_cached_in_burst.clear();
}

void context_debug::end_burst(bool written) {
    if (!written && !m_cached_in_sent.empty()) {
        for (const auto& uid : m_cached_in_sent)
            m_trackable_objects_cache.erase(uid);
        ++m_cache_epoch;
    }
    m_cached_in_sent.clear();
}

void context_debug::delete_trackable_object(const context::trackable_object& object) {
    const auto& uid = object.get_uid();
    m_redis_context.append_command(trackable_object_delete_format, uid.c_str());
    m_redis_context.append_command_argv({"SREM", trackable_objects_set_key.c_str(), uid.c_str()});
    m_redis_context.flush_appended();
    m_trackable_objects_cache.erase(object.get_uid_bytes());
    ++m_cache_epoch;
}

void context_debug::forget_cache_after_reconnect() {
    if (m_seen_reconnects == m_redis_context.get_reconnects())
        return;
    m_seen_reconnects = m_redis_context.get_reconnects();
    m_trackable_objects_cache.clear();
    ++m_cache_epoch;
}

}  // namespace kel
