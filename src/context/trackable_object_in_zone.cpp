#include "context/trackable_object_in_zone.h"

#include "context/trackable_object.h"
#include "context/zone.h"

#include <ostream>
#include <utility>

namespace kel::context {

trackable_object_in_zone::trackable_object_in_zone(trackable_object_in_zone_uid uid,
                                                   boost::string_view trackable_object_uid,
                                                   boost::string_view zone_uid,
                                                   boost::string_view project_uid,
                                                   boost::string_view sublocation_uid,
                                                   boost::string_view zone_type_name)
    : trackable_object_in_zone(uid, interned_text(trackable_object_uid), interned_text(zone_uid),
                               interned_text(project_uid), interned_text(sublocation_uid),
                               interned_text(zone_type_name)) {}

trackable_object_in_zone::trackable_object_in_zone(trackable_object_in_zone_uid uid,
                                                   interned_text trackable_object_uid, interned_text zone_uid,
                                                   interned_text project_uid, interned_text sublocation_uid,
                                                   interned_text zone_type_name)
    : m_uid(uid),
      m_trackable_object_uid(std::move(trackable_object_uid)),
      m_zone_uid(std::move(zone_uid)),
      m_project_uid(std::move(project_uid)),
      m_sublocation_uid(std::move(sublocation_uid)),
      m_zone_type_name(std::move(zone_type_name)) {}

trackable_object_in_zone_uid trackable_object_in_zone::make_uid(const trackable_object& object, const zone& zone) {
    const auto& o = object.get_uid_bytes();
    const auto& z = zone.get_uid_bytes();
    return {o[0], o[1], z[0], z[1]};
}

trackable_object_in_zone_uid trackable_object_in_zone::make_uid(kel::uid object_uid, const std::string& zone_uid) {
    const kel::uid zone_uid_bytes = parse_uid(zone_uid);
    return {object_uid[0], object_uid[1], zone_uid_bytes[0], zone_uid_bytes[1]};
}

void trackable_object_in_zone::clear() {
    m_in_zone = false;
    m_event_is_generated = false;
    m_leave_is_generated = false;
    m_in_debouncing_state = false;
}

std::ostream& operator<<(std::ostream& os, const trackable_object_in_zone& record) {
    return os << "trackable_object_in_zone{ tr: " << record.get_trackable_object_uid()
              << ", zone: " << record.get_zone_uid() << "}";
}

}  // namespace kel::context
