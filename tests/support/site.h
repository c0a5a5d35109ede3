#pragma once

#include "loopback_http/http_server.h"

#include <json/json.h>

#include <string>
#include <utility>
#include <vector>

namespace kel::test {

// A zone as the site's server lists it or a notification carries it: by
// default a polygon room of project "prj1". Empty texts and a zero radius
// leave their keys out.
struct zone_recipe {
    explicit zone_recipe(std::string zone_uid, std::string zone_sublocation = "sl01")
        : uid(std::move(zone_uid)), sublocation(std::move(zone_sublocation)) {}

    std::string uid;
    std::string sublocation;
    std::string carrier;
    int radius = 0;
    std::vector<std::pair<int, int>> points{{0, 0}, {100, 0}, {100, 100}};
    std::string shape = "polygon";
    std::string type = "room";
    bool active = true;
    std::vector<std::string> exceptions;
    // The server's "trackables_in_zone".
    std::vector<std::string> trackables;
};

// The rectangle (x0, y0)-(x1, y1).
zone_recipe room(std::string uid, int x0, int y0, int x1, int y1, std::string sublocation = "sl01");
// A circle of `radius` carried by `carrier`, in no sublocation of its own.
zone_recipe carried_circle(std::string uid, std::string carrier, int radius, std::string type = "vehicle");

// A trackable object as the server lists it or a notification carries it.
struct object_recipe {
    // An empty sublocation: no position at all.
    object_recipe(std::string object_uid, std::string object_sublocation = "sl01", int object_x = 1, int object_y = 2,
                  std::vector<std::string> object_groups = {})
        : uid(std::move(object_uid)),
          sublocation(std::move(object_sublocation)),
          x(object_x),
          y(object_y),
          groups(std::move(object_groups)) {}

    std::string uid;
    std::string sublocation;
    int x;
    int y;
    // Without: the position names its sublocation only.
    bool has_coordinates = true;
    std::vector<std::string> groups;
};

// The value of a JSON text; null when the text is not JSON.
Json::Value json(const std::string& text);

Json::Value zone_json(const zone_recipe& recipe);
Json::Value object_json(const object_recipe& recipe);
std::string zones_answer(const std::vector<zone_recipe>& zones);
std::string objects_answer(const std::vector<object_recipe>& objects);

// Serves the site's four lists (no sublocations, no nodes); `zones` and
// `objects` are JSON arrays of zone_json() and object_json() entries.
void serve_site(libs::loopback_http::http_server& server, const Json::Value& zones, const Json::Value& objects);
void serve_site(libs::loopback_http::http_server& server, const std::vector<zone_recipe>& zones, const std::vector<object_recipe>& objects);

libs::loopback_http::http_server::response answer(unsigned status, std::string body);

}  // namespace kel::test
