#include "support/memory_save_restore.h"

#include "core/timestamp.h"

namespace kel::fuzz {

memory_save_restore::memory_save_restore(events_sender& sender, context::writable_context& context)
    : m_sender(sender), m_context(context) {}

std::string memory_save_restore::id_of(const context::trackable_object_in_zone& record) {
    return record.get_trackable_object_uid() + "-" + record.get_zone_uid();
}

memory_save_restore::flags memory_save_restore::flags_of(const context::trackable_object_in_zone& record) {
    return unsigned(record.is_in_zone()) | unsigned(record.is_event_generated()) << 1 |
           unsigned(record.is_leave_generated()) << 2 | unsigned(record.is_in_debouncing_state()) << 3;
}

void memory_save_restore::save(const context::trackable_object_in_zone& record,
                               boost::optional<const context::zone&> zone) {
    m_on_save(record, zone);
    const auto state = flags_of(record);
    const auto stored = m_stored.find(record.get_uid());
    if (state == 0) {
        if (stored != m_stored.end())
            m_stored.erase(stored);
    } else if (stored != m_stored.end()) {
        stored->second.state = state;
    } else {
        m_stored.emplace(record.get_uid(), stored_record{id_of(record), state});
    }
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
    const auto key = record.get_uid();
    m_stored.erase(key);
    m_context.take_trackable_objects_in_zones().erase(key);
}

context_save_restore::connection memory_save_restore::do_on_save(const slot_type& slot) {
    return m_on_save.connect(slot);
}

std::string memory_save_restore::difference_from_context() const {
    std::size_t held = 0;
    for (const auto& entry : m_context.get_trackable_objects_in_zones()) {
        const auto state = flags_of(entry.second);
        if (state == 0)
            continue;
        ++held;
        const auto stored = m_stored.find(entry.first);
        if (stored == m_stored.end())
            return "held in memory but not stored: " + id_of(entry.second);
        if (stored->second.state != state)
            return "stored with other flags than memory holds: " + id_of(entry.second);
    }
    if (held == m_stored.size())
        return std::string();
    for (const auto& entry : m_stored) {
        const auto record = m_context.get_trackable_objects_in_zones().find(entry.first);
        if (record == m_context.get_trackable_objects_in_zones().end() || flags_of(record->second) == 0)
            return "stored but not held in memory: " + entry.second.id;
    }
    return std::string();
}

std::string memory_save_restore::describe() const {
    std::string text;
    for (const auto& entry : m_stored)
        text += entry.second.id + ":" + std::to_string(entry.second.state) + "\n";
    return text;
}

}  // namespace kel::fuzz
