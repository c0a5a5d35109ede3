#include "tag_route.h"

#include <cmath>
#include <random>
#include <stdexcept>

namespace kel::site {

namespace {

int coordinate(const Json::Value& value, const std::string& what) {
    if (!value.isNumeric())
        throw std::runtime_error(what + " is not a number");
    return value.asInt();
}

tag_route::waypoint waypoint_of(const Json::Value& entry) {
    if (!entry.isArray() || entry.size() < 2 || entry.size() > 3)
        throw std::runtime_error("a path point is not [x, y] or [x, y, dwell seconds]");
    tag_route::waypoint w;
    w.x = coordinate(entry[0], "a path x");
    w.y = coordinate(entry[1], "a path y");
    if (entry.size() == 3) {
        if (!entry[2].isNumeric() || entry[2].asDouble() < 0)
            throw std::runtime_error("a dwell time is not a number of seconds");
        w.dwell = std::chrono::milliseconds(std::llround(entry[2].asDouble() * 1000));
    }
    return w;
}

std::vector<tag_route::waypoint> path(const Json::Value& points) {
    if (!points.isArray() || points.empty())
        throw std::runtime_error("\"path\" is not a non-empty array");
    std::vector<tag_route::waypoint> waypoints;
    for (const Json::Value& entry : points)
        waypoints.push_back(waypoint_of(entry));
    return waypoints;
}

std::vector<tag_route::waypoint> random_walk(const Json::Value& walk) {
    const Json::Value& min = walk["min"];
    const Json::Value& max = walk["max"];
    if (!min.isArray() || min.size() != 2 || !max.isArray() || max.size() != 2)
        throw std::runtime_error("\"random_walk\" needs \"min\" and \"max\" as [x, y]");
    const int x0 = coordinate(min[0], "min x"), y0 = coordinate(min[1], "min y");
    const int x1 = coordinate(max[0], "max x"), y1 = coordinate(max[1], "max y");
    if (x0 > x1 || y0 > y1)
        throw std::runtime_error("\"random_walk\": \"min\" is not below \"max\"");
    const int count = walk.get("points", 32).asInt();
    if (count < 1)
        throw std::runtime_error("\"random_walk\": \"points\" is not positive");
    std::mt19937 generator(walk.get("seed", 1).asUInt());
    std::uniform_int_distribution<int> x(x0, x1);
    std::uniform_int_distribution<int> y(y0, y1);
    std::vector<tag_route::waypoint> waypoints(static_cast<std::size_t>(count));
    for (auto& w : waypoints) {
        w.x = x(generator);
        w.y = y(generator);
    }
    return waypoints;
}

}  // namespace

tag_route::tag_route(std::string trackable_object_uid, std::vector<waypoint> waypoints, double speed, int z)
    : m_trackable_object_uid(std::move(trackable_object_uid)),
      m_waypoints(std::move(waypoints)),
      m_speed(speed),
      m_z(z) {
    if (m_waypoints.empty())
        throw std::invalid_argument("a route needs a waypoint");
    if (!(m_speed >= 0))
        throw std::invalid_argument("a route's speed is negative");
    for (std::size_t i = 0; i < m_waypoints.size(); ++i)
        m_round_ms += static_cast<double>(m_waypoints[i].dwell.count()) +
                      travel_ms(m_waypoints[i], m_waypoints[(i + 1) % m_waypoints.size()]);
}

tag_route tag_route::from_json(const Json::Value& route) {
    if (!route.isObject() || !route["trackable_object_uid"].isString())
        throw std::runtime_error("not an object with a string \"trackable_object_uid\"");
    const Json::Value& speed = route.get("speed", 1000);
    if (!speed.isNumeric() || speed.asDouble() < 0)
        throw std::runtime_error("\"speed\" is not a number of units per second");
    std::vector<waypoint> waypoints;
    if (route.isMember("path"))
        waypoints = path(route["path"]);
    else if (route.isMember("random_walk"))
        waypoints = random_walk(route["random_walk"]);
    else
        throw std::runtime_error("neither \"path\" nor \"random_walk\"");
    return tag_route(route["trackable_object_uid"].asString(), std::move(waypoints), speed.asDouble(),
                     coordinate(route.get("z", 0), "\"z\""));
}

tag_route::point tag_route::position_at(std::chrono::milliseconds elapsed) const {
    const waypoint& first = m_waypoints.front();
    if (m_waypoints.size() == 1 || m_speed == 0 || m_round_ms <= 0)
        return {first.x, first.y, m_z};
    double t = std::fmod(static_cast<double>(elapsed.count()), m_round_ms);
    for (std::size_t i = 0;; i = (i + 1) % m_waypoints.size()) {
        const waypoint& from = m_waypoints[i];
        const waypoint& to = m_waypoints[(i + 1) % m_waypoints.size()];
        if (t < static_cast<double>(from.dwell.count()))
            return {from.x, from.y, m_z};
        t -= static_cast<double>(from.dwell.count());
        const double leg = travel_ms(from, to);
        if (t < leg) {
            const double f = t / leg;
            return {static_cast<int>(std::lround(from.x + f * (to.x - from.x))),
                    static_cast<int>(std::lround(from.y + f * (to.y - from.y))), m_z};
        }
        t -= leg;
    }
}

double tag_route::travel_ms(const waypoint& from, const waypoint& to) const {
    if (m_speed == 0)
        return 0;
    return std::hypot(double(to.x) - from.x, double(to.y) - from.y) / m_speed * 1000.0;
}

}  // namespace kel::site
