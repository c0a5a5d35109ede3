#pragma once

#include <core/only_movable.h>

#include <set>
#include <string>

namespace kel::context {

// The zones carried by one trackable object (its buffers, told apart by
// radius), keyed by that object's uid. A plain value owned by the
// multi-tiered zones repository; its owner removes it once it has no zone.
class multi_tiered_zone : public libs::core::only_movable {
public:
    multi_tiered_zone(std::string uid, std::string first_zone_uid);

    const std::string& get_uid() const { return m_uid; }
    bool has_zones() const { return !m_zones.empty(); }
    bool has_zone(const std::string& zone_uid) const { return m_zones.count(zone_uid) != 0; }
    // The member zone uids in ascending order.
    const std::set<std::string>& zones() const { return m_zones; }

    // No effect when the zone is already a member.
    void add_zone(std::string zone_uid);
    // No effect when the zone is not a member.
    void remove_zone(const std::string& zone_uid);

private:
    std::string m_uid;
    std::set<std::string> m_zones;
};

}  // namespace kel::context
