#pragma once

#include "synthetic_site.h"

#include <json/json.h>

#include <string>
#include <vector>

namespace kel::bench {

// The synthetic site of the engine benchmark (build_site, same shape and
// seed) as the site's HTTP server lists it under "/api/private/", plus a
// probe: one tag alone in a sublocation of its own with one square room,
// which the load generator moves in and out to learn when the service has
// handled everything published before.
//
// A plain value: built once, then read. Nothing refers back into it.
class site_lists {
public:
    struct tag {
        std::string uid;
        std::string sublocation_uid;
        std::string mac_address;
        int x = 0;
        int y = 0;
        bool carrier = false;  // carries circle zones
    };

    // The probe room spans (0, 0)-(probe_room_size, probe_room_size) in the
    // probe's sublocation; the points below lie well inside and well outside
    // it, farther from its edges than the service's debouncing footprint.
    static constexpr int probe_room_size = 10000;
    static constexpr int probe_inside_x = 5000;
    static constexpr int probe_outside_x = 50000;
    static constexpr int probe_y = 5000;

    // Builds the site from `shape` (seconds for the default shape).
    explicit site_lists(const site_shape& shape);

    // {"<json_name>": [...]} as compact JSON, for "zones",
    // "trackableObjects", "sublocations" and "nodes".
    std::string answer(const std::string& json_name) const;
    const Json::Value& list(const std::string& json_name) const { return m_lists[json_name]; }

    // Every tag of the site, probe excluded, in uid order, at the position
    // the server lists.
    const std::vector<tag>& tags() const { return m_tags; }
    const tag& probe() const { return m_probe; }
    const std::string& probe_zone_uid() const { return m_probe_zone_uid; }
    int extent() const { return m_extent; }

private:
    void add_zones(const context::context& site);
    void add_tags(const context::context& site, const std::vector<std::string>& carriers);
    void add_probe(const std::string& project_uid);
    void add_sublocation(const std::string& uid, int id, const std::string& project_uid);
    void append_tag(const tag& t, const std::string& project_uid);

    Json::Value m_lists{Json::objectValue};
    std::vector<tag> m_tags;
    tag m_probe;
    std::string m_probe_zone_uid;
    int m_extent;
};

}  // namespace kel::bench
