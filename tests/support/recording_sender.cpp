#include "support/recording_sender.h"

#include <utility>

namespace kel::test {

namespace {

class recording_queue : public events_queue {
public:
    explicit recording_queue(recording_sender& sender) : m_sender(sender) {}
    ~recording_queue() override { ++m_sender.m_released_queues; }

    void send_enter(const context::trackable_object_in_zone& record,
                    boost::optional<const context::trackable_object&> object, libs::core::timestamp ts) override {
        m_sender.m_enter(record, object, ts);
        note("enter", record, object, ts);
    }
    void send_leave(const context::trackable_object_in_zone& record,
                    boost::optional<const context::trackable_object&> object, libs::core::timestamp ts) override {
        m_sender.m_leave(record, object, ts);
        note("leave", record, object, ts);
    }

private:
    void note(const char* action, const context::trackable_object_in_zone& record,
              boost::optional<const context::trackable_object&> object, libs::core::timestamp ts) {
        m_sender.m_events.push_back(std::string(action) + " " + record.get_trackable_object_uid() + " " +
                                    record.get_zone_uid() + (m_sender.m_note_object && object ? " with object" : ""));
        m_sender.m_times.push_back(ts);
    }

    recording_sender& m_sender;
};

}  // namespace

events_queue::ptr recording_sender::create_queue() {
    return std::make_unique<recording_queue>(*this);
}

std::vector<std::string> recording_sender::take() {
    return std::exchange(m_events, {});
}

}  // namespace kel::test
