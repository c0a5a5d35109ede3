#include "context_save_restore_impl.h"

#include "core/exception.h"
#include "core/timestamp.h"

#include <boost/utility/string_view.hpp>

#include <charconv>
#include <string>
#include <unordered_set>
#include <utility>

namespace kel {

namespace {

const std::string& records_prefix = record_key::prefix;
// Spelled out: a string of another file may not be built yet when this one is.
const std::string records_set_key = "quorvane:trackable_objects_in_zones:set";
const std::string older_objects_prefix = "trackable_objects:";
const std::string older_objects_set_key = "trackable_objects:set";
const std::string older_zones_prefix = "zones:";
const std::string older_zones_set_key = "zones:set";

bool has_state(const context::trackable_object_in_zone& record) {
    return record.is_in_zone() || record.is_event_generated() || record.is_leave_generated() ||
           record.is_in_debouncing_state();
}

const char* flag_text(bool flag) {
    return flag ? "true" : "false";
}

// One entry of an object's zone list in the older layout: "<n> <n> <in zone
// 0|1> <n> <enter sent 0|1> <zone uid>", fields separated by any one
// character; the numbers are not used.
struct older_zone_entry {
    bool in_zone = false;
    bool enter_sent = false;
    std::string zone_uid;
};

bool take_number(boost::string_view& text, std::uint64_t& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc())
        return false;
    text.remove_prefix(static_cast<std::size_t>(result.ptr - text.data()));
    return true;
}

bool take_separator(boost::string_view& text) {
    if (text.empty())
        return false;
    text.remove_prefix(1);
    return true;
}

bool take_number_field(boost::string_view& text) {
    std::uint64_t unused = 0;
    return take_number(text, unused) && take_separator(text);
}

bool take_flag_field(boost::string_view& text, bool& flag) {
    std::uint64_t value = 0;
    if (!take_number(text, value) || value > 1)
        return false;
    flag = value == 1;
    return take_separator(text);
}

boost::optional<older_zone_entry> parse_older_zone_entry(boost::string_view text) {
    older_zone_entry entry;
    if (!(take_number_field(text) && take_number_field(text) && take_flag_field(text, entry.in_zone) &&
          take_number_field(text) && take_flag_field(text, entry.enter_sent)))
        return boost::none;
    entry.zone_uid = std::string(text.substr(0, text.find_first_of(" \t\r\n")));
    if (entry.zone_uid.empty())
        return boost::none;
    return entry;
}

// A field of the older layout that is absent reads as empty.
std::string text_or_empty(const redis::reply_element& value) {
    return value.get_type() == redis::reply_type::STRING ? value.to_string() : std::string();
}

// Every command below whose text includes a uid read from Redis is sent as
// an argument list: a uid may hold "%" or blanks, which a format string
// would misread.
void delete_key(redis::context& redis_context, const std::string& key) {
    redis_context.execute_command_argv({"DEL", key.c_str()});
}

}  // namespace

context_save_restore_impl::context_save_restore_impl(redis::context& redis_context, events_sender& events_sender,
                                                     context::writable_context& context,
                                                     std::set<std::string> ignored_zones_types,
                                                     const libs::core::component_logger& logger)
    : m_redis_context(redis_context),
      m_events_sender(events_sender),
      m_context(context),
      m_ignored_zones_types(std::move(ignored_zones_types)),
      m_logger(logger),
      m_synced_reconnects(redis_context.get_reconnects()) {}

void context_save_restore_impl::save(const context::trackable_object_in_zone& record,
                                     boost::optional<const context::zone&> zone) {
    store(record, zone);
    if (!appending())
        resync_after_reconnect();
}

void context_save_restore_impl::begin_batch() {
    KEL_CHECK(!m_batching);
    m_batching = true;
}

void context_save_restore_impl::end_batch() {
    m_batching = false;
    if (m_redis_context.in_burst())
        return;
    try {
        m_redis_context.flush_appended();
    } catch (...) {
        batch_failed(m_batched);
        throw;
    }
    m_batched.clear();
    resync_after_reconnect();
}

void context_save_restore_impl::cancel_batch() noexcept {
    m_batching = false;
    if (m_redis_context.in_burst())
        return;
    try {
        m_redis_context.flush_appended();
        m_batched.clear();
    } catch (...) {
        batch_failed(m_batched);
    }
}

void context_save_restore_impl::burst_sent() {
    m_sent.swap(m_batched);
    m_batched.clear();
}

void context_save_restore_impl::end_burst(bool written) {
    if (!written) {
        batch_failed(m_sent);
        return;
    }
    m_sent.clear();
    resync_after_reconnect();
}

// Some commands of the batch may have taken effect and others not, and
// records it removed from Redis may be gone from memory already: its records
// count as never saved, and the next operation makes Redis hold exactly
// what memory holds.
void context_save_restore_impl::batch_failed(std::vector<context::trackable_object_in_zone_uid>& batched) noexcept {
    const auto& records = m_context.get_trackable_objects_in_zones();
    for (const auto& key : batched) {
        const auto found = records.find(key);
        if (found != records.end())
            found->second.forget_saved();
    }
    batched.clear();
    m_rewrite_due = true;
}

void context_save_restore_impl::command_views(std::initializer_list<boost::string_view> args) {
    if (appending())
        m_redis_context.append_command_views(args);
    else
        m_redis_context.execute_command_views(args);
}

void context_save_restore_impl::check_event(const context::trackable_object_in_zone& record) {
    drop_if_orphaned(record);
    resync_after_reconnect();
}

void context_save_restore_impl::check_store() {
    m_redis_context.execute_command("PING");
    resync_after_reconnect();
}

context_save_restore::connection context_save_restore_impl::do_on_save(const slot_type& slot) {
    return m_on_save.connect(slot);
}

void context_save_restore_impl::store(const context::trackable_object_in_zone& record,
                                      boost::optional<const context::zone&> zone) {
    m_on_save(record, zone);
    // Redis already holds exactly this, unless the connection was replaced
    // since: then the rewrite that follows writes everything anyway.
    if (record.is_saved_as_is() && !m_rewrite_due && m_synced_reconnects == m_redis_context.get_reconnects())
        return;
    if (has_state(record))
        write(record);
    else
        remove(record);
    record.mark_saved();
    if (appending())
        m_batched.push_back(record.get_uid());
}

void context_save_restore_impl::write(const context::trackable_object_in_zone& record) {
    m_key.set(record.get_trackable_object_uid(), record.get_zone_uid());
    const auto id = m_key.id();
    command_views({"HMSET", m_key.key(), "uid", id, "trackable_object_uid", record.get_trackable_object_uid(), "zone_uid",
                   record.get_zone_uid(), "project_uid", record.get_project_uid(), "sublocation_uid",
                   record.get_sublocation_uid(), "zone_type_name", record.get_zone_type_name(), "in_zone",
                   flag_text(record.is_in_zone()), "event_generated", flag_text(record.is_event_generated()),
                   "leave_generated", flag_text(record.is_leave_generated()), "in_debouncing_state",
                   flag_text(record.is_in_debouncing_state())});
    command_views({"SADD", records_set_key, id});
}

void context_save_restore_impl::remove(boost::string_view id) {
    m_key.set(id);
    command_views({"DEL", m_key.key()});
    command_views({"SREM", records_set_key, m_key.id()});
}

void context_save_restore_impl::remove(const context::trackable_object_in_zone& record) {
    m_key.set(record.get_trackable_object_uid(), record.get_zone_uid());
    command_views({"DEL", m_key.key()});
    command_views({"SREM", records_set_key, m_key.id()});
}

void context_save_restore_impl::drop_if_orphaned(const context::trackable_object_in_zone& record) {
    const auto zone = m_context.get_zones().try_get(record.get_zone_uid());
    const auto object = m_context.get_trackable_objects().try_get(record.get_trackable_object_uid());
    if (zone && object)
        return;
    if (record.is_event_generated()) {
        // The queue transmits when it goes out of scope.
        const auto queue = m_events_sender.create_queue();
        queue->send_leave(record, object, libs::core::timestamp::current_time());
    }
    remove(record);
    // Erasing by a key that lives inside the erased element is not safe.
    const auto key = record.get_uid();
    m_context.take_trackable_objects_in_zones().erase(key);
}

void context_save_restore_impl::restore() {
    if (stored_version() == 0)
        restore_zone_detector_events();
    skip_unreadable(records_set_key, [this] {
        const auto ids = m_redis_context.get_set_members(records_set_key);
        ids.as_array().for_each_element([this](const redis::reply_element& id) {
            const auto text = id.to_string();
            skip_unreadable(records_prefix + text, [&] { restore_record(text); });
            return true;
        });
    });
    m_redis_context.execute_command("SET quorvane:version %s", "1");
    m_restored = true;
    resync_after_reconnect();
}

void context_save_restore_impl::skip_unreadable(const std::string& key, const std::function<void()>& read) const {
    try {
        read();
    } catch (const redis::reply_error& e) {
        m_logger.error("Skipped the stored record %1%: %2%") % key % e.get_string_error();
    }
}

// 0 when the key is absent. Anything else but 0 or 1 is refused: reading
// on would take records of an unknown layout for ours.
int context_save_restore_impl::stored_version() {
    const std::string key = "quorvane:version";
    std::string text;
    try {
        const auto version = m_redis_context.execute_command_argv({"GET", key.c_str()});
        if (version.get_type() == redis::reply_type::NIL)
            return 0;
        text = version.to_string();
    } catch (const redis::reply_error& e) {
        KEL_THROW("Cannot read the layout version " + key + ": " + e.get_string_error());
    }
    int value = -1;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool number = parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
    if (!number || (value != 0 && value != 1))
        KEL_THROW("Unknown layout version in " + key + ": \"" + libs::core::log_excerpt(text) +
                  "\" (this build reads 0, the older layout, and 1)");
    return value;
}

void context_save_restore_impl::restore_record(const std::string& id) {
    const auto reply = m_redis_context.execute_command(
        "HMGET quorvane:trackable_objects_in_zones:%s trackable_object_uid zone_uid project_uid sublocation_uid "
        "zone_type_name in_zone event_generated leave_generated in_debouncing_state",
        id.c_str());
    const auto values = reply.as_array();
    const bool vanished = values.for_each_element(
        [](const redis::reply_element& value) { return value.get_type() == redis::reply_type::NIL; });
    if (vanished)
        return;
    static const char* const fields[] = {"trackable_object_uid", "zone_uid", "project_uid",
                                         "sublocation_uid", "zone_type_name", "in_zone",
                                         "event_generated", "leave_generated", "in_debouncing_state"};
    std::string missing;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i].get_type() != redis::reply_type::STRING)
            missing += (missing.empty() ? "" : ", ") + std::string(fields[i]);
    }
    if (!missing.empty()) {
        m_logger.error("Skipped the stored record %1%: fields missing: %2%") % (records_prefix + id) % missing;
        return;
    }
    const auto object_uid = values[0].to_string();
    const auto zone_uid = values[1].to_string();
    auto& record = emplace_record(object_uid, parse_uid(object_uid), zone_uid, values[2].to_string(),
                                  values[3].to_string(), values[4].to_string());
    record.set_in_zone(values[5].to_string() == "true");
    record.set_event_generated(values[6].to_string() == "true");
    record.set_leave_generated(values[7].to_string() == "true");
    record.set_in_debouncing_state(values[8].to_string() == "true");
    store(record, m_context.get_zones().try_get(zone_uid));
    drop_if_orphaned(record);
}

context::trackable_object_in_zone& context_save_restore_impl::emplace_record(
    const std::string& object_uid, const kel::uid& object_uid_bytes, const std::string& zone_uid,
    const std::string& project_uid, const std::string& sublocation_uid, const std::string& zone_type_name) {
    const auto key = context::trackable_object_in_zone::make_uid(object_uid_bytes, zone_uid);
    auto& records = m_context.take_trackable_objects_in_zones();
    return records.try_emplace(key, key, object_uid, zone_uid, project_uid, sublocation_uid, zone_type_name)
        .first->second;
}

// Objects first: their entries read the zones' ":data" hashes, which the
// zone clean-up deletes.
void context_save_restore_impl::restore_zone_detector_events() {
    const auto objects = m_redis_context.get_set_members(older_objects_set_key);
    objects.as_array().for_each_element([this](const redis::reply_element& object_uid) {
        const auto uid = object_uid.to_string();
        skip_unreadable(older_objects_prefix + uid, [&] { migrate_trackable_object(uid); });
        return true;
    });
    const auto zones = m_redis_context.get_set_members(older_zones_set_key);
    zones.as_array().for_each_element([this](const redis::reply_element& zone_uid) {
        delete_older_zone(zone_uid.to_string());
        return true;
    });
}

void context_save_restore_impl::migrate_trackable_object(const std::string& object_uid) {
    const auto object_uid_bytes = parse_uid(object_uid);
    const auto object_key = older_objects_prefix + object_uid;
    const auto data_key = object_key + ":data";
    const auto data_reply = m_redis_context.execute_command_argv({"HMGET", data_key.c_str(), "project_uid", "sl_uid"});
    const auto data = data_reply.as_array();
    const auto project_uid = text_or_empty(data[0]);
    const auto sublocation_uid = text_or_empty(data[1]);

    const auto zones_key = object_key + ":zones";
    const auto entries = m_redis_context.execute_command_argv({"LRANGE", zones_key.c_str(), "0", "-1"});
    entries.as_array().for_each_element([&](const redis::reply_element& entry) {
        migrate_zone_entry(object_uid, object_uid_bytes, project_uid, sublocation_uid, entry.to_string());
        return true;
    });

    m_redis_context.execute_command_argv({"SREM", older_objects_set_key.c_str(), object_uid.c_str()});
    for (const char* suffix : {":data", ":zones", ":zones:last_event", ":own_zones", ":groups", ":groups_deleted"})
        delete_key(m_redis_context, object_key + suffix);
}

void context_save_restore_impl::migrate_zone_entry(const std::string& object_uid, const kel::uid& object_uid_bytes,
                                                   const std::string& project_uid,
                                                   const std::string& sublocation_uid, const std::string& text) {
    const auto entry = parse_older_zone_entry(text);
    if (!entry) {
        m_logger.error("Skipped a malformed zone entry of trackable object %1% in the older layout: \"%2%\"") %
            object_uid % libs::core::log_excerpt(text);
        return;
    }
    const auto zone_data_key = older_zones_prefix + entry->zone_uid + ":data";
    const auto zone_data = m_redis_context.execute_command_argv({"HMGET", zone_data_key.c_str(), "zone_type"});
    const auto zone_type = text_or_empty(zone_data.as_array()[0]);

    auto& record = emplace_record(object_uid, object_uid_bytes, entry->zone_uid, project_uid, sublocation_uid,
                                  zone_type);
    record.set_in_zone(entry->in_zone);
    record.set_event_generated(entry->in_zone && entry->enter_sent && m_ignored_zones_types.count(zone_type) == 0);
    record.set_leave_generated(false);
    record.set_in_debouncing_state(false);
    store(record, m_context.get_zones().try_get(entry->zone_uid));
    drop_if_orphaned(record);
}

void context_save_restore_impl::delete_older_zone(const std::string& zone_uid) {
    m_redis_context.execute_command_argv({"SREM", older_zones_set_key.c_str(), zone_uid.c_str()});
    const auto zone_key = older_zones_prefix + zone_uid;
    for (const char* suffix : {":data", ":points", ":excepted_obj", ":excepted_groups"})
        delete_key(m_redis_context, zone_key + suffix);
}

void context_save_restore_impl::resync_after_reconnect() {
    // Within a burst, the rewrite waits for the burst's end.
    if (!m_restored || m_redis_context.in_burst())
        return;
    // A reconnect during the rewrite means another pass.
    while (m_rewrite_due || m_synced_reconnects != m_redis_context.get_reconnects()) {
        const auto reconnects = m_redis_context.get_reconnects();
        rewrite_all();
        m_synced_reconnects = reconnects;
        m_rewrite_due = false;
    }
}

// Makes Redis hold exactly the records memory holds with state.
void context_save_restore_impl::rewrite_all() {
    std::unordered_set<std::string> kept;
    const auto& records = m_context.get_trackable_objects_in_zones();
    for (const auto& entry : records) {
        const auto& record = entry.second;
        if (!has_state(record))
            continue;
        write(record);
        kept.insert(m_key.id().to_string());
    }
    const auto stored = m_redis_context.get_set_members(records_set_key);
    stored.as_array().for_each_element([&](const redis::reply_element& id) {
        const auto text = id.to_string();
        if (kept.count(text) == 0)
            remove(text);
        return true;
    });
    m_redis_context.execute_command("SET quorvane:version %s", "1");
    for (const auto& entry : records)
        entry.second.mark_saved();
}

}  // namespace kel
