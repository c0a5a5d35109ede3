#include "record_key.h"

namespace kel {

const std::string record_key::prefix = "quorvane:trackable_objects_in_zones:";

void record_key::set(boost::string_view object_uid, boost::string_view zone_uid) {
    m_text.resize(prefix.size());
    m_text.append(object_uid.data(), object_uid.size());
    m_text.push_back('-');
    m_text.append(zone_uid.data(), zone_uid.size());
}

void record_key::set(boost::string_view id) {
    m_text.resize(prefix.size());
    m_text.append(id.data(), id.size());
}

}  // namespace kel
