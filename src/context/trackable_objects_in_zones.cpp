#include "context/trackable_objects_in_zones.h"

namespace kel::context {

trackable_objects_in_zones::iterator trackable_objects_in_zones::erase(const_iterator position) {
    m_on_erase(position->first);
    return m_map.erase(position);
}

std::size_t trackable_objects_in_zones::erase(const key_type& key) {
    const auto found = m_map.find(key);
    if (found == m_map.end())
        return 0;
    erase(const_iterator(found));
    return 1;
}

void trackable_objects_in_zones::clear() {
    for (const auto& entry : m_map)
        m_on_erase(entry.first);
    m_map = map_type();
}

}  // namespace kel::context
