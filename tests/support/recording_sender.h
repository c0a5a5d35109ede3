#pragma once

#include "events_sender.h"

#include "core/timestamp.h"

#include <string>
#include <vector>

namespace kel::test {

// An events sender that records every event its queues are given, in order,
// as "enter <object> <zone>" (followed by " with object" when
// `note_object` and the object was given), raises the same signals as the
// real sender, and counts the queues released. Must outlive its queues.
class recording_sender : public events_sender {
public:
    explicit recording_sender(bool note_object = false) : m_note_object(note_object) {}

    events_queue::ptr create_queue() override;
    connection do_on_enter_event(const slot_type& slot) override { return m_enter.connect(slot); }
    connection do_on_leave_event(const slot_type& slot) override { return m_leave.connect(slot); }

    // The events since the last call.
    std::vector<std::string> take();

    const bool m_note_object;
    std::vector<std::string> m_events;
    std::vector<libs::core::timestamp> m_times;
    int m_released_queues = 0;
    event_signal m_enter;
    event_signal m_leave;
};

}  // namespace kel::test
