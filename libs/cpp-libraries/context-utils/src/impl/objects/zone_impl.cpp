#include "objects/zone_impl.h"

#include "objects/object_fields.h"
#include "parser_utils.h"

#include <core/exception.h>

namespace kel::libs::context_utils::objects {

namespace of = object_fields;

namespace {

class point_impl final : public zone::point {
public:
    explicit point_impl(const Json::Value& json) : m_json_value(json) {}

    int get_x() const override { return of::read_number(m_json_value, "x"); }
    int get_y() const override { return of::read_number(m_json_value, "y"); }

private:
    const Json::Value& m_json_value;
};

class trackable_in_zone_impl final : public zone::trackable_in_zone {
public:
    explicit trackable_in_zone_impl(const Json::Value& json) : m_json_value(json) {}

    std::string get_uid() const override { return of::read_string(m_json_value, "uid"); }

private:
    const Json::Value& m_json_value;
};

// Calls `callback` with a view of each object of the array `key` while it
// returns true; an absent array has nothing to walk.
template <typename View, typename Callback>
bool for_each_element(const Json::Value& object, const char* key, const Callback& callback) {
    const Json::Value& array = parser_utils::member(object, key);
    if (array.isNull())
        return true;
    if (!array.isArray())
        KEL_THROW(std::string("\"") + key + "\" is not an array!");
    for (const auto& element : array) {
        if (!element.isObject())
            KEL_THROW(std::string("\"") + key + "\" is not an array of objects!");
        if (!callback(View(element)))
            return false;
    }
    return true;
}

}  // namespace

zone_impl::zone_impl(const Json::Value& object)
    : m_json_value(object), m_zone_geometry(parser_utils::member(object, "zone_geometry")) {}

std::string zone_impl::get_uid() const {
    return of::read_string(m_json_value, "uid");
}

std::string zone_impl::get_project_uid() const {
    return of::read_string(m_json_value, "project_uid");
}

boost::optional<std::string> zone_impl::get_sublocation_uid() const {
    return of::read_optional_string(m_json_value, "sublocation_uid");
}

boost::optional<std::string> zone_impl::get_trackable_object_uid() const {
    return of::read_optional_string(m_json_value, "trackable_object_uid");
}

bool zone_impl::get_active() const {
    return of::read_bool(m_json_value, "active");
}

std::string zone_impl::get_shape() const {
    return of::read_string(m_json_value, "shape");
}

std::string zone_impl::get_zone_type_name() const {
    return of::read_string(m_json_value, "zone_type_name");
}

bool zone_impl::get_default_allowed() const {
    return of::read_bool(m_json_value, "default_allowed");
}

std::vector<std::string> zone_impl::get_zone_exceptions() const {
    return of::read_strings(m_json_value, "zone_exceptions");
}

std::vector<std::string> zone_impl::get_zone_exceptions_groups() const {
    return of::read_strings(m_json_value, "zone_exceptions_groups");
}

boost::optional<const zone::zone_geometry&> zone_impl::get_zone_geometry() const {
    if (of::read_optional_object(m_json_value, "zone_geometry") == nullptr)
        return boost::none;
    return boost::optional<const zone_geometry&>(m_zone_geometry);
}

bool zone_impl::for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const {
    return for_each_element<trackable_in_zone_impl>(m_json_value, "trackables_in_zone", callback);
}

core::timestamp zone_impl::get_updated_at() const {
    return of::read_time(m_json_value, "updated_at");
}

boost::optional<int> zone_impl::zone_geometry_impl::get_radius() const {
    return of::read_optional_number(m_json_value, "radius");
}

bool zone_impl::zone_geometry_impl::for_each_point(const point_callback& callback) const {
    parser_utils::check_vertex_count(parser_utils::member(m_json_value, "positions"), boost::none);
    return for_each_element<point_impl>(m_json_value, "positions", callback);
}

}  // namespace kel::libs::context_utils::objects
