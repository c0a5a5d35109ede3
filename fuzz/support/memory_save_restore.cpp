#include "support/memory_save_restore.h"

#include "core/timestamp.h"

namespace kel::fuzz {

memory_save_restore::memory_save_restore(events_sender& sender, context::writable_context& context)
    : m_sender(sender), m_context(context) {}

bool memory_save_restore::flags::operator==(const flags& other) const {
    return in_zone == other.in_zone && event_generated == other.event_generated &&
           leave_generated == other.leave_generated && in_debouncing_state == other.in_debouncing_state;
}

std::string memory_save_restore::id_of(const context::trackable_object_in_zone& record) {
    return record.get_trackable_object_uid() + "-" + record.get_zone_uid();
}

memory_save_restore::flags memory_save_restore::flags_of(const context::trackable_object_in_zone& record) {
    return flags{record.is_in_zone(), record.is_event_generated(), record.is_leave_generated(),
                 record.is_in_debouncing_state()};
}

void memory_save_restore::save(const context::trackable_object_in_zone& record,
                               boost::optional<const context::zone&> zone) {
    m_on_save(record, zone);
    const auto state = flags_of(record);
    if (state == flags{false, false, false, false})
        m_stored.erase(id_of(record));
    else
        m_stored[id_of(record)] = state;
}

void memory_save_restore::check_event(const context::trackable_object_in_zone& record) {
    const auto zone = m_context.get_zones().try_get(record.get_zone_uid());
    const auto object = m_context.get_trackable_objects().try_get(record.get_trackable_object_uid());
    if (zone && object)
        return;
    if (record.is_event_generated()) {
        const auto queue = m_sender.create_queue();
        queue->send_leave(record, object, libs::core::timestamp::current_time());
    }
    m_stored.erase(id_of(record));
    const auto key = record.get_uid();
    m_context.take_trackable_objects_in_zones().erase(key);
}

context_save_restore::connection memory_save_restore::do_on_save(const slot_type& slot) {
    return m_on_save.connect(slot);
}

std::string memory_save_restore::difference_from_context() const {
    std::map<std::string, flags> held;
    for (const auto& entry : m_context.get_trackable_objects_in_zones()) {
        const auto state = flags_of(entry.second);
        if (!(state == flags{false, false, false, false}))
            held[id_of(entry.second)] = state;
    }
    for (const auto& entry : held) {
        const auto stored = m_stored.find(entry.first);
        if (stored == m_stored.end())
            return "held in memory but not stored: " + entry.first;
        if (!(stored->second == entry.second))
            return "stored with other flags than memory holds: " + entry.first;
    }
    for (const auto& entry : m_stored) {
        if (held.count(entry.first) == 0)
            return "stored but not held in memory: " + entry.first;
    }
    return std::string();
}

}  // namespace kel::fuzz
