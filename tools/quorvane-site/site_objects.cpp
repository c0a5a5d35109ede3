#include "site_objects.h"

#include "globals.h"

#include "core/json.h"

#include <set>
#include <stdexcept>

namespace kel::site {

namespace {

const char* const zones_name = "zones";
const char* const trackable_objects_name = "trackableObjects";
const char* const sublocations_name = "sublocations";

// The service's events are trusted for their layout but not relied on:
// a member of another type reads as empty.
std::string text_or_empty(const Json::Value& value) {
    return value.isString() ? value.asString() : std::string();
}

int int_or_zero(const Json::Value& value) {
    return value.isInt() ? value.asInt() : 0;
}

std::string describe(const std::string& json_name, Json::ArrayIndex i) {
    return json_name + "[" + std::to_string(i) + "]";
}

void check_object(const std::string& json_name, Json::ArrayIndex i, const Json::Value& object,
                  std::set<std::string>& keys) {
    if (!object.isObject() || !object["uid"].isString())
        throw std::runtime_error(describe(json_name, i) + ": not an object with a string \"uid\"");
    const std::string uid = object["uid"].asString();
    if (!is_uid_text(uid))
        throw std::runtime_error(describe(json_name, i) + ": uid \"" + uid + "\" is not 22 base64 characters");
    // Two texts that decode alike are one object to the service.
    const auto bytes = parse_uid(uid);
    const std::string key(reinterpret_cast<const char*>(bytes.data()), sizeof(bytes));
    if (!keys.insert(key).second)
        throw std::runtime_error(describe(json_name, i) + ": uid \"" + uid +
                                 "\" decodes like an earlier uid (only its last character differs, or not at all)");
    const bool named = json_name == zones_name || json_name == trackable_objects_name;
    if (named && !object["name"].isString())
        throw std::runtime_error(describe(json_name, i) + ": no string \"name\"");
}

}  // namespace

const std::vector<site_objects::kind>& site_objects::kinds() {
    static const std::vector<kind> all = {
        {zones_name, "/api/private/zones/"},
        {trackable_objects_name, "/api/private/track_obj/"},
        {"win_anchors", "/api/private/win_anchors/"},
        {sublocations_name, "/api/private/sublocations/"},
        {"alarms", "/api/private/alarms/"},
        {"nodes", "/api/private/nodes/"},
    };
    return all;
}

site_objects::site_objects(const Json::Value& site) {
    if (!site.isObject())
        throw std::runtime_error("the site is not a JSON object");
    for (const kind& k : kinds()) {
        const Json::Value& given = site[k.json_name];
        if (!given.isNull() && !given.isArray())
            throw std::runtime_error(std::string("\"") + k.json_name + "\" is not an array");
        std::set<std::string> keys;
        for (Json::ArrayIndex i = 0; i < given.size(); ++i)
            check_object(k.json_name, i, given[i], keys);
        m_lists[k.json_name] = given.isNull() ? Json::Value(Json::arrayValue) : given;
    }
    index(zones_name, m_zones);
    index(trackable_objects_name, m_trackable_objects);
}

std::string site_objects::answer(const kind& k) const {
    Json::Value body(Json::objectValue);
    body[k.json_name] = m_lists[k.json_name];
    return libs::core::json::to_string(body);
}

const Json::Value* site_objects::zone(const std::string& uid) const {
    return find(m_lists[zones_name], m_zones, uid);
}

const Json::Value* site_objects::trackable_object(const std::string& uid) const {
    return find(m_lists[trackable_objects_name], m_trackable_objects, uid);
}

std::string site_objects::default_sublocation_uid() const {
    const Json::Value& sublocations = m_lists[sublocations_name];
    return sublocations.empty() ? std::string() : sublocations[0]["uid"].asString();
}

void site_objects::set_position(const std::string& uid, int x, int y, int z, const std::string& sublocation_uid) {
    const auto found = m_trackable_objects.find(uid);
    if (found == m_trackable_objects.end())
        return;
    Json::Value& position = list(trackable_objects_name)[found->second]["position"];
    position["x"] = x;
    position["y"] = y;
    position["z"] = z;
    position["sl_id"] = sublocation_uid;
}

const Json::Value& site_objects::change_zone(const std::string& uid, const Json::Value& fields,
                                             libs::core::timestamp ts) {
    Json::Value& zone = list(zones_name)[m_zones.at(uid)];
    for (const std::string& name : fields.getMemberNames())
        zone[name] = fields[name];
    zone["updated_at"] = ts.to_iso_8601(true, 'T', true);
    return zone;
}

void site_objects::record_event(const Json::Value& event) {
    const auto found = m_zones.find(text_or_empty(event["zone_uid"]));
    if (found == m_zones.end())
        return;
    const std::string object_uid = text_or_empty(event["obj_uid"]);
    Json::Value& zone = list(zones_name)[found->second];
    Json::Value kept(Json::arrayValue);
    for (const Json::Value& inside : zone["trackables_in_zone"])
        if (text_or_empty(inside["uid"]) != object_uid)
            kept.append(inside);
    if (text_or_empty(event["action"]) == "enter") {
        const libs::core::timestamp time(event["ts"].isInt64() ? event["ts"].asInt64() : 0,
                                         event["ms"].isUInt() ? event["ms"].asUInt() : 0);
        Json::Value entered(Json::objectValue);
        entered["time"] = time.to_iso_8601(true, 'T', true);
        entered["x"] = int_or_zero(event["x"]);
        entered["y"] = int_or_zero(event["y"]);
        entered["z"] = int_or_zero(event["z"]);
        Json::Value inside(Json::objectValue);
        inside["uid"] = object_uid;
        inside["entered"] = entered;
        kept.append(inside);
    }
    zone["trackables_in_zone"] = kept;
}

Json::Value& site_objects::list(const std::string& json_name) {
    return m_lists[json_name];
}

void site_objects::index(const std::string& json_name, std::map<std::string, Json::ArrayIndex>& by_uid) {
    const Json::Value& objects = m_lists[json_name];
    for (Json::ArrayIndex i = 0; i < objects.size(); ++i)
        by_uid[objects[i]["uid"].asString()] = i;
}

const Json::Value* site_objects::find(const Json::Value& list, const std::map<std::string, Json::ArrayIndex>& by_uid,
                                      const std::string& uid) {
    const auto found = by_uid.find(uid);
    return found == by_uid.end() ? nullptr : &list[found->second];
}

}  // namespace kel::site
