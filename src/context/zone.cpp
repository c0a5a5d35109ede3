#include "context/zone.h"

#include <algorithm>

namespace kel::context {
namespace {

// Compared byte for byte: "Keep_in", "keep-in" or "keep_in " are other types.
const char* const keep_in_type_name = "keep_in";

template <typename T>
boost::optional<const T&> view(const boost::optional<T>& value) {
    if (!value)
        return boost::none;
    return *value;
}

edge_slabs slabs_of(const boost::optional<std::vector<point>>& points) {
    return points ? edge_slabs(*points) : edge_slabs();
}

boost::optional<zone::bounds> bounds_of(const boost::optional<std::vector<point>>& points) {
    if (!points || points->empty())
        return boost::none;
    zone::bounds b{points->front().get_x(), points->front().get_y(), points->front().get_x(),
                   points->front().get_y()};
    for (const point& p : *points) {
        b.min_x = std::min(b.min_x, p.get_x());
        b.min_y = std::min(b.min_y, p.get_y());
        b.max_x = std::max(b.max_x, p.get_x());
        b.max_y = std::max(b.max_y, p.get_y());
    }
    return b;
}

std::vector<kel::uid> decoded(const std::set<std::string>& uids) {
    std::vector<kel::uid> bytes;
    bytes.reserve(uids.size());
    for (const auto& uid : uids)
        bytes.push_back(parse_uid(uid));
    return bytes;
}

}  // namespace

zone::zone(std::string uid,
           boost::optional<std::int32_t> radius,
           std::string project_uid,
           boost::optional<std::string> sublocation_uid,
           boost::optional<std::string> trackable_object_uid,
           boost::optional<std::vector<point>> points,
           bool active,
           shape shape,
           std::string type_name,
           bool default_allowed,
           std::set<std::string> exceptions,
           std::set<std::string> exceptions_groups)
    : m_uid(std::move(uid)),
      m_uid_bytes(parse_uid(m_uid)),
      m_pinned_uid(m_uid),
      m_radius(radius),
      m_project_uid(std::move(project_uid)),
      m_sublocation_uid(std::move(sublocation_uid)),
      m_sublocation_hash(m_sublocation_uid ? std::hash<std::string>{}(*m_sublocation_uid) : 0),
      m_trackable_object_uid(std::move(trackable_object_uid)),
      m_points(std::move(points)),
      m_points_bounds(bounds_of(m_points)),
      m_edge_slabs(slabs_of(m_points)),
      m_active(active),
      m_shape(shape),
      m_type_name(std::move(type_name)),
      m_pinned_type_name(m_type_name),
      m_is_keep_in(m_type_name == keep_in_type_name),
      m_default_allowed(default_allowed),
      m_exceptions(std::move(exceptions)),
      m_exceptions_bytes(decoded(m_exceptions)),
      m_exceptions_groups(std::move(exceptions_groups)) {}

void zone::set_sublocation_uid(boost::optional<std::string> uid) {
    m_sublocation_uid = std::move(uid);
    m_sublocation_hash = m_sublocation_uid ? std::hash<std::string>{}(*m_sublocation_uid) : 0;
}

boost::optional<const std::string&> zone::get_sublocation_uid() const {
    return view(m_sublocation_uid);
}

boost::optional<const trackable_object&> zone::find_carrier(
    const remembered_lookup<trackable_object>::repository& objects) const {
    if (!m_trackable_object_uid)
        return boost::none;
    return m_carrier.find(objects, *m_trackable_object_uid);
}

boost::optional<const std::string&> zone::get_trackable_object_uid() const {
    return view(m_trackable_object_uid);
}

void zone::set_exceptions(std::set<std::string> exceptions) {
    m_exceptions = std::move(exceptions);
    m_exceptions_bytes = decoded(m_exceptions);
}

bool zone::is_exception(const std::string& uid, const kel::uid& uid_bytes) const {
    for (const auto& bytes : m_exceptions_bytes) {
        if (bytes[0] == uid_bytes[0] && bytes[1] == uid_bytes[1] && m_exceptions.count(uid))
            return true;
    }
    return false;
}

void zone::set_points(boost::optional<std::vector<point>> points) {
    m_points = std::move(points);
    m_points_bounds = bounds_of(m_points);
    m_edge_slabs = slabs_of(m_points);
}

boost::optional<const std::vector<point>&> zone::get_points() const {
    return view(m_points);
}

void zone::set_type_name(std::string type_name) {
    m_type_name = std::move(type_name);
    m_pinned_type_name = interned_text(m_type_name);
    m_is_keep_in = m_type_name == keep_in_type_name;
}

}  // namespace kel::context
