#include "support/site.h"

#include "core/json.h"

namespace kel::test {

namespace {

Json::Value strings(const std::vector<std::string>& texts) {
    Json::Value array(Json::arrayValue);
    for (const auto& text : texts)
        array.append(text);
    return array;
}

template <typename Recipe>
Json::Value array_of(const std::vector<Recipe>& recipes, Json::Value (*to_json)(const Recipe&)) {
    Json::Value array(Json::arrayValue);
    for (const auto& recipe : recipes)
        array.append(to_json(recipe));
    return array;
}

}  // namespace

zone_recipe room(std::string uid, int x0, int y0, int x1, int y1, std::string sublocation) {
    zone_recipe zone(std::move(uid), std::move(sublocation));
    zone.points = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    return zone;
}

zone_recipe carried_circle(std::string uid, std::string carrier, int radius, std::string type) {
    zone_recipe zone(std::move(uid), "");
    zone.carrier = std::move(carrier);
    zone.radius = radius;
    zone.points.clear();
    zone.shape = "circle";
    zone.type = std::move(type);
    return zone;
}

Json::Value json(const std::string& text) {
    return libs::core::json::try_parse(text).result;
}

Json::Value zone_json(const zone_recipe& recipe) {
    Json::Value zone;
    zone["uid"] = recipe.uid;
    zone["name"] = "zone " + recipe.uid;
    zone["project_uid"] = "prj1";
    zone["shape"] = recipe.shape;
    zone["zone_type_name"] = recipe.type;
    zone["active"] = recipe.active;
    zone["default_allowed"] = false;
    zone["priority"] = 0;
    zone["zone_alarm_level"] = 0;
    zone["zone_exceptions"] = strings(recipe.exceptions);
    zone["zone_exceptions_groups"] = Json::Value(Json::arrayValue);
    zone["updated_at"] = "2026-12-01T10:00:00.000Z";
    if (!recipe.sublocation.empty())
        zone["sublocation_uid"] = recipe.sublocation;
    if (!recipe.carrier.empty())
        zone["trackable_object_uid"] = recipe.carrier;
    Json::Value& geometry = zone["zone_geometry"] = Json::Value(Json::objectValue);
    if (recipe.radius != 0)
        geometry["radius"] = recipe.radius;
    for (const auto& p : recipe.points) {
        Json::Value point;
        point["x"] = p.first;
        point["y"] = p.second;
        geometry["positions"].append(point);
    }
    Json::Value& trackables = zone["trackables_in_zone"] = Json::Value(Json::arrayValue);
    for (const auto& uid : recipe.trackables) {
        Json::Value entry;
        entry["uid"] = uid;
        entry["entered"]["time"] = "2026-12-01T10:00:00.000Z";
        entry["entered"]["x"] = 0;
        entry["entered"]["y"] = 0;
        entry["entered"]["z"] = 0;
        trackables.append(entry);
    }
    return zone;
}

Json::Value object_json(const object_recipe& recipe) {
    Json::Value object;
    object["uid"] = recipe.uid;
    object["name"] = "tag " + recipe.uid;
    object["project_uid"] = "prj1";
    object["updated_at"] = "2026-12-01T10:00:00.000Z";
    object["groups"] = strings(recipe.groups);
    object["node"]["mac_address"] = "00:11:22:33:44:" + recipe.uid.substr(0, 2);
    object["node"]["responsive"] = true;
    if (!recipe.sublocation.empty()) {
        object["position"]["sl_id"] = recipe.sublocation;
        if (recipe.has_coordinates) {
            object["position"]["x"] = recipe.x;
            object["position"]["y"] = recipe.y;
            object["position"]["z"] = 0;
        }
    }
    return object;
}

std::string zones_answer(const std::vector<zone_recipe>& zones) {
    Json::Value answer;
    answer["zones"] = array_of(zones, &zone_json);
    return libs::core::json::to_string(answer);
}

std::string objects_answer(const std::vector<object_recipe>& objects) {
    Json::Value answer;
    answer["trackableObjects"] = array_of(objects, &object_json);
    return libs::core::json::to_string(answer);
}

void serve_site(libs::loopback_http::http_server& server, const Json::Value& zones, const Json::Value& objects) {
    Json::Value zones_list, objects_list;
    zones_list["zones"] = zones;
    objects_list["trackableObjects"] = objects;
    server.serve("/api/private/zones/", libs::core::json::to_string(zones_list));
    server.serve("/api/private/track_obj/", libs::core::json::to_string(objects_list));
    server.serve("/api/private/sublocations/", R"({"sublocations":[]})");
    server.serve("/api/private/nodes/", R"({"nodes":[]})");
}

void serve_site(libs::loopback_http::http_server& server, const std::vector<zone_recipe>& zones,
                const std::vector<object_recipe>& objects) {
    serve_site(server, array_of(zones, &zone_json), array_of(objects, &object_json));
}

libs::loopback_http::http_server::response answer(unsigned status, std::string body) {
    libs::loopback_http::http_server::response response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

}  // namespace kel::test
