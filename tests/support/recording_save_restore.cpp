#include "support/recording_save_restore.h"

#include <stdexcept>

namespace kel::test {

namespace {

std::string key_of(const std::string& object, const std::string& zone) {
    return object + "-" + zone;
}

std::string key_of(const context::trackable_object_in_zone& record) {
    return key_of(record.get_trackable_object_uid(), record.get_zone_uid());
}

}  // namespace

void recording_save_restore::check_event(const context::trackable_object_in_zone& record) {
    m_calls.push_back("check " + key_of(record));
}

void recording_save_restore::save(const context::trackable_object_in_zone& record,
                                  boost::optional<const context::zone&> zone) {
    if (!m_fail_save.empty() && key_of(record) == m_fail_save) {
        m_fail_save.clear();
        throw std::runtime_error("save failed");
    }
    m_on_save(record, zone);
    m_calls.push_back("save " + key_of(record) + (record.is_event_generated() ? " E" : " -"));
    // Like the real persistence, which can then skip a repeated save.
    record.mark_saved();
    const auto id = key_of(record);
    std::string flags;
    flags += record.is_in_zone() ? 'I' : '-';
    flags += record.is_event_generated() ? 'E' : '-';
    flags += record.is_leave_generated() ? 'L' : '-';
    flags += record.is_in_debouncing_state() ? 'D' : '-';
    if (flags == "----")
        m_stored.erase(id);
    else
        m_stored[id] = flags;
}

std::string recording_save_restore::stored(const std::string& object, const std::string& zone) const {
    const auto found = m_stored.find(key_of(object, zone));
    return found == m_stored.end() ? "" : found->second;
}

}  // namespace kel::test
