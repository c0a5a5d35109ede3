#include "engine_fixture.h"

#include "globals.h"

namespace kel::test {

engine_fixture::engine_fixture(std::set<std::string> ignored_types)
    : m_index(m_save_restore, m_sender, m_context, m_logger),
      m_generator(std::make_unique<events_generator>(m_context, m_save_restore, m_sender, m_index, m_logger,
                                                     std::move(ignored_types))) {}

void context_site::polygon(const std::string& uid, std::vector<context::point> points, zone_options o) {
    m_context.take_zones().add(
        context::zone(uid, boost::none, o.project, o.sublocation, boost::none, std::move(points), o.active,
                      context::shape::POLYGON, o.type, o.default_allowed, o.exceptions, o.groups),
        now());
}

void context_site::rectangle(const std::string& uid, int x0, int y0, int x1, int y1, zone_options o) {
    polygon(uid, {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}}, std::move(o));
}

void context_site::circle(const std::string& uid, const std::string& carrier, int radius, zone_options o) {
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

void context_site::object(const std::string& uid, std::string sublocation, std::string project,
                            std::set<std::string> groups) {
    boost::optional<std::string> sl;
    if (!sublocation.empty())
        sl = std::move(sublocation);
    m_context.take_trackable_objects().add(context::trackable_object(uid, parse_uid(uid), std::move(project), true,
                                                                     true, boost::none, sl, std::move(groups)),
                                           now());
}

bool context_site::has_record(const std::string& object, const std::string& zone) const {
    return m_context.get_trackable_objects_in_zones().count(
        context::trackable_object_in_zone::make_uid(parse_uid(object), zone));
}

}  // namespace kel::test
