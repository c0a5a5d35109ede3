#include "context/multi_tiered_zone.h"

#include <utility>

namespace kel::context {

multi_tiered_zone::multi_tiered_zone(std::string uid, std::string first_zone_uid)
    : m_uid(std::move(uid)), m_zones{std::move(first_zone_uid)} {}

void multi_tiered_zone::add_zone(std::string zone_uid) {
    m_zones.insert(std::move(zone_uid));
}

void multi_tiered_zone::remove_zone(const std::string& zone_uid) {
    m_zones.erase(zone_uid);
}

}  // namespace kel::context
