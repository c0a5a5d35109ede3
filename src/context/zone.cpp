#include "context/zone.h"

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
      m_radius(radius),
      m_project_uid(std::move(project_uid)),
      m_sublocation_uid(std::move(sublocation_uid)),
      m_trackable_object_uid(std::move(trackable_object_uid)),
      m_points(std::move(points)),
      m_active(active),
      m_shape(shape),
      m_type_name(std::move(type_name)),
      m_is_keep_in(m_type_name == keep_in_type_name),
      m_default_allowed(default_allowed),
      m_exceptions(std::move(exceptions)),
      m_exceptions_groups(std::move(exceptions_groups)) {}

boost::optional<const std::string&> zone::get_sublocation_uid() const {
    return view(m_sublocation_uid);
}

boost::optional<const std::string&> zone::get_trackable_object_uid() const {
    return view(m_trackable_object_uid);
}

boost::optional<const std::vector<point>&> zone::get_points() const {
    return view(m_points);
}

void zone::set_type_name(std::string type_name) {
    m_type_name = std::move(type_name);
    m_is_keep_in = m_type_name == keep_in_type_name;
}

}  // namespace kel::context
