#include "site_lists.h"

#include "core/json.h"

#include <cstdio>
#include <set>

namespace kel::bench {

namespace {

// One time for every object: the service does not interpret it.
const char* const updated_at = "2026-01-01T00:00:00.000Z";

Json::Value vertex(int x, int y) {
    Json::Value v(Json::objectValue);
    v["x"] = x;
    v["y"] = y;
    return v;
}

Json::Value texts(const std::set<std::string>& values) {
    Json::Value array(Json::arrayValue);
    for (const auto& v : values)
        array.append(v);
    return array;
}

// The members every zone of the server carries; the geometry is the
// caller's.
Json::Value base_zone(const context::zone& z) {
    Json::Value j(Json::objectValue);
    j["uid"] = z.get_uid();
    j["name"] = "zone " + z.get_uid();
    j["project_uid"] = z.get_project_uid();
    j["shape"] = z.get_shape() == context::shape::POLYGON ? "polygon" : "circle";
    j["zone_type_name"] = z.get_type_name();
    j["zone_type_id"] = 1;
    j["zone_alarm_level"] = 0;
    j["priority"] = 0;
    j["active"] = z.get_active();
    j["default_allowed"] = z.get_default_allowed();
    j["zone_exceptions"] = texts(z.get_exceptions());
    j["zone_exceptions_groups"] = texts(z.get_exceptions_groups());
    j["trackables_in_zone"] = Json::Value(Json::arrayValue);
    j["updated_at"] = updated_at;
    if (const auto sl = z.get_sublocation_uid())
        j["sublocation_uid"] = *sl;
    if (const auto carrier = z.get_trackable_object_uid())
        j["trackable_object_uid"] = *carrier;
    return j;
}

Json::Value zone_json(const context::zone& z) {
    Json::Value j = base_zone(z);
    Json::Value geometry(Json::objectValue);
    geometry["positions"] = Json::Value(Json::arrayValue);
    if (const auto points = z.get_points())
        for (const auto& p : *points)
            geometry["positions"].append(vertex(p.get_x(), p.get_y()));
    if (const auto radius = z.get_radius())
        geometry["radius"] = *radius;
    j["zone_geometry"] = geometry;
    return j;
}

std::string mac_of(int n) {
    char text[24];
    std::snprintf(text, sizeof(text), "02:00:00:%02x:%02x:%02x", (n >> 16) & 0xff, (n >> 8) & 0xff, n & 0xff);
    return text;
}

}  // namespace

site_lists::site_lists(const site_shape& shape) : m_extent(shape.extent) {
    for (const char* name : {"zones", "trackableObjects", "sublocations", "nodes"})
        m_lists[name] = Json::Value(Json::arrayValue);
    context::writable_context site;
    const synthetic_site built = build_site(site, shape);
    add_zones(site);
    add_tags(site, built.carriers);
    // The synthetic site has one project; the probe joins it.
    const std::string project_uid =
        m_tags.empty() ? make_uid('A', 0) : site.get_trackable_objects().get(m_tags[0].uid).get_project_uid();
    std::set<std::string> sublocations;
    for (const auto& t : m_tags)
        sublocations.insert(t.sublocation_uid);
    int id = 1;
    for (const auto& sl : sublocations)
        add_sublocation(sl, id++, project_uid);
    add_probe(project_uid);
}

std::string site_lists::answer(const std::string& json_name) const {
    Json::Value body(Json::objectValue);
    body[json_name] = m_lists[json_name];
    return libs::core::json::to_string(body);
}

void site_lists::add_zones(const context::context& site) {
    for (const context::zone& z : site.get_zones().get_range())
        m_lists["zones"].append(zone_json(z));
}

void site_lists::add_tags(const context::context& site, const std::vector<std::string>& carriers) {
    const std::set<std::string> carrying(carriers.begin(), carriers.end());
    for (const context::trackable_object& o : site.get_trackable_objects().get_range()) {
        tag t;
        t.uid = o.get_uid();
        t.carrier = carrying.count(t.uid) != 0;
        t.sublocation_uid = o.get_sublocation_uid() ? *o.get_sublocation_uid() : std::string();
        t.mac_address = mac_of(static_cast<int>(m_tags.size()) + 1);
        if (const auto& p = o.get_position()) {
            t.x = p->get_x();
            t.y = p->get_y();
        }
        append_tag(t, o.get_project_uid());
        m_tags.push_back(std::move(t));
    }
}

void site_lists::add_probe(const std::string& project_uid) {
    m_probe.uid = make_uid('Q', 0);
    m_probe.sublocation_uid = make_uid('Q', 1);
    m_probe.mac_address = mac_of(0);
    m_probe.x = probe_outside_x;
    m_probe.y = probe_y;
    m_probe_zone_uid = make_uid('Q', 2);
    append_tag(m_probe, project_uid);
    add_sublocation(m_probe.sublocation_uid, 999, project_uid);
    const int s = probe_room_size;
    context::zone room(m_probe_zone_uid, boost::none, project_uid, m_probe.sublocation_uid, boost::none,
                       std::vector<context::point>{{0, 0, 0}, {s, 0, 0}, {s, s, 0}, {0, s, 0}}, true,
                       context::shape::POLYGON, "probe", false, {}, {});
    m_lists["zones"].append(zone_json(room));
}

void site_lists::add_sublocation(const std::string& uid, int id, const std::string& project_uid) {
    Json::Value sl(Json::objectValue);
    sl["uid"] = uid;
    sl["id"] = id;
    sl["name"] = "floor " + std::to_string(id);
    sl["project_uid"] = project_uid;
    sl["project_name"] = "synthetic site";
    sl["company_uid"] = project_uid;
    sl["location_uid"] = project_uid;
    sl["offset_x"] = 0;
    sl["offset_y"] = 0;
    sl["offset_z"] = 0;
    sl["updated_at"] = updated_at;
    m_lists["sublocations"].append(sl);
}

void site_lists::append_tag(const tag& t, const std::string& project_uid) {
    Json::Value j(Json::objectValue);
    j["uid"] = t.uid;
    j["name"] = "tag " + t.uid;
    j["project_uid"] = project_uid;
    j["company_uid"] = project_uid;
    j["type"] = "person";
    j["category"] = "staff";
    j["default_height"] = 1700;
    j["groups"] = Json::Value(Json::arrayValue);
    j["node"]["mac_address"] = t.mac_address;
    j["node"]["responsive"] = true;
    j["position"]["x"] = t.x;
    j["position"]["y"] = t.y;
    j["position"]["z"] = 0;
    j["position"]["sl_id"] = t.sublocation_uid;
    j["tag_config"]["stationary"] = false;
    j["updated_at"] = updated_at;
    m_lists["trackableObjects"].append(j);

    Json::Value node(Json::objectValue);
    node["uid"] = make_uid('N', static_cast<int>(m_lists["nodes"].size()));
    node["mac_address"] = t.mac_address;
    node["status"]["ext_pow"] = false;
    node["updated_at"] = updated_at;
    m_lists["nodes"].append(node);
}

}  // namespace kel::bench
