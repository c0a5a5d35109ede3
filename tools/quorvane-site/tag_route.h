#pragma once

#include <json/json.h>

#include <chrono>
#include <string>
#include <vector>

namespace kel::site {

// Where one tag is at any moment of the demo. The tag walks a closed route,
// waypoint after waypoint and from the last back to the first, at a constant
// speed, staying a while at the waypoints that say so. A random walk is such
// a route through random points of a rectangle drawn from a seed, so that
// every run of the demo moves the same way. A value class; positions are a
// pure function of the time since the start.
class tag_route {
public:
    struct waypoint {
        int x = 0;
        int y = 0;
        std::chrono::milliseconds dwell{0};
    };
    struct point {
        int x = 0;
        int y = 0;
        int z = 0;
    };

    // `speed` in site units per second. A route of one waypoint, or at speed
    // zero, stays at its first waypoint. Throws std::invalid_argument without
    // waypoints or with a negative speed.
    tag_route(std::string trackable_object_uid, std::vector<waypoint> waypoints, double speed, int z);

    // One entry of the site file's routes:
    //   {"trackable_object_uid": uid, "speed": units per second, "z": height,
    //    "path": [[x, y], [x, y, dwell seconds], ...]}
    // or, instead of "path",
    //   "random_walk": {"min": [x, y], "max": [x, y], "points": n, "seed": s}.
    // Throws std::runtime_error saying what is wrong.
    static tag_route from_json(const Json::Value& route);

    const std::string& trackable_object_uid() const { return m_trackable_object_uid; }
    point position_at(std::chrono::milliseconds elapsed) const;

private:
    double travel_ms(const waypoint& from, const waypoint& to) const;

    std::string m_trackable_object_uid;
    std::vector<waypoint> m_waypoints;
    double m_speed;
    int m_z;
    double m_round_ms = 0;
};

}  // namespace kel::site
