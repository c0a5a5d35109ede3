#include "engine_fixture.h"

#include "globals.h"

namespace kel::test {

namespace {

class recording_queue : public events_queue {
public:
    explicit recording_queue(recording_sender& sender) : m_sender(sender) {}
    ~recording_queue() override { ++m_sender.m_released_queues; }

    void send_enter(const context::trackable_object_in_zone& record,
                    boost::optional<const context::trackable_object&> object, libs::core::timestamp ts) override {
        m_sender.m_enter(record, object, ts);
        m_sender.m_events.push_back("enter " + record.get_trackable_object_uid() + " " + record.get_zone_uid());
    }
    void send_leave(const context::trackable_object_in_zone& record,
                    boost::optional<const context::trackable_object&> object, libs::core::timestamp ts) override {
        m_sender.m_leave(record, object, ts);
        m_sender.m_events.push_back("leave " + record.get_trackable_object_uid() + " " + record.get_zone_uid());
    }

private:
    recording_sender& m_sender;
};

std::string key(const std::string& object, const std::string& zone) {
    return object + "-" + zone;
}

}  // namespace

events_queue::ptr recording_sender::create_queue() {
    return std::make_unique<recording_queue>(*this);
}

void recording_save_restore::save(const context::trackable_object_in_zone& r,
                                  boost::optional<const context::zone&> zone) {
    m_on_save(r, zone);
    ++m_saves;
    // Like the real persistence, which can then skip a repeated save.
    r.mark_saved();
    const auto id = key(r.get_trackable_object_uid(), r.get_zone_uid());
    if (!r.is_in_zone() && !r.is_event_generated() && !r.is_leave_generated() && !r.is_in_debouncing_state()) {
        m_stored.erase(id);
        return;
    }
    std::string flags;
    flags += r.is_in_zone() ? 'I' : '-';
    flags += r.is_event_generated() ? 'E' : '-';
    flags += r.is_leave_generated() ? 'L' : '-';
    flags += r.is_in_debouncing_state() ? 'D' : '-';
    m_stored[id] = flags;
}

engine_fixture::engine_fixture(std::set<std::string> ignored_types)
    : m_index(m_save_restore, m_sender, m_context, m_logger),
      m_generator(std::make_unique<events_generator>(m_context, m_save_restore, m_sender, m_index, m_logger,
                                                     std::move(ignored_types))) {}

void engine_fixture::polygon(const std::string& uid, std::vector<context::point> points, zone_options o) {
    m_context.take_zones().add(
        context::zone(uid, boost::none, o.project, o.sublocation, boost::none, std::move(points), o.active,
                      context::shape::POLYGON, o.type, o.default_allowed, o.exceptions, o.groups),
        now());
}

void engine_fixture::rectangle(const std::string& uid, int x0, int y0, int x1, int y1, zone_options o) {
    polygon(uid, {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}}, std::move(o));
}

void engine_fixture::circle(const std::string& uid, const std::string& carrier, int radius, zone_options o) {
    auto& groups = m_context.take_multi_tiered_zones();
    if (auto group = groups.try_get(carrier, now()))
        group->add_zone(uid);
    else
        groups.add(context::multi_tiered_zone(carrier, uid), now());
    m_context.take_zones().add(context::zone(uid, radius, o.project, o.sublocation, carrier, boost::none, o.active,
                                             context::shape::CIRCLE, o.type, o.default_allowed, o.exceptions,
                                             o.groups),
                               now());
}

void engine_fixture::object(const std::string& uid, std::string sublocation, std::string project,
                            std::set<std::string> groups) {
    boost::optional<std::string> sl;
    if (!sublocation.empty())
        sl = std::move(sublocation);
    m_context.take_trackable_objects().add(context::trackable_object(uid, parse_uid(uid), std::move(project), true,
                                                                     true, boost::none, sl, std::move(groups)),
                                           now());
}

void engine_fixture::move(const std::string& uid, int x, int y) {
    auto handle = m_context.take_trackable_objects().try_get(uid, now());
    handle->set_position(context::point(x, y, 0));
}

void engine_fixture::set_sublocation(const std::string& uid, boost::optional<std::string> sublocation) {
    auto handle = m_context.take_trackable_objects().try_get(uid, now());
    handle->set_sublocation_uid(std::move(sublocation));
}

std::vector<std::string> engine_fixture::events() {
    auto result = std::move(m_sender.m_events);
    m_sender.m_events.clear();
    return result;
}

std::string engine_fixture::stored(const std::string& object, const std::string& zone) const {
    const auto found = m_save_restore.m_stored.find(key(object, zone));
    return found == m_save_restore.m_stored.end() ? "" : found->second;
}

bool engine_fixture::has_record(const std::string& object, const std::string& zone) const {
    return m_context.get_trackable_objects_in_zones().count(
        context::trackable_object_in_zone::make_uid(parse_uid(object), zone));
}

}  // namespace kel::test
