#include "parsers/zone_impl.h"

#include "parser_utils.h"

#include <stdexcept>

namespace kel::libs::context_utils::parsers {

namespace pu = parser_utils;

namespace {

class point_impl final : public zone::point {
public:
    explicit point_impl(const Json::Value& json) : m_json_value(json) {}

    int get_x() const override { return pu::get_number(m_json_value, "x"); }
    int get_y() const override { return pu::get_number(m_json_value, "y"); }

private:
    const Json::Value& m_json_value;
};

class trackable_in_zone_impl final : public zone::trackable_in_zone {
public:
    explicit trackable_in_zone_impl(const Json::Value& json)
        : m_json_value(json), m_entered(pu::member(json, "entered")) {}

    std::string get_uid() const override { return pu::get_string(m_json_value, "uid"); }
    int get_x() const override { return pu::get_number(m_entered, "x", "entered.x"); }
    int get_y() const override { return pu::get_number(m_entered, "y", "entered.y"); }
    int get_z() const override { return pu::get_number(m_entered, "z", "entered.z"); }
    core::timestamp get_time() const override { return pu::get_iso8601_timestamp(m_entered, "time", "entered.time"); }

private:
    const Json::Value& m_json_value;
    const Json::Value& m_entered;
};

// Calls `callback` with a view of each element while it returns true. A
// member that is absent or not an array has nothing to walk.
template <typename View, typename Callback>
bool for_each_element(const Json::Value& array, const Callback& callback) {
    if (!array.isArray())
        return true;
    for (const auto& element : array) {
        if (!callback(View(element)))
            return false;
    }
    return true;
}

std::vector<std::string> strings_member(const Json::Value& object, const char* key) {
    const Json::Value& array = pu::member(object, key);
    if (!array.isArray())
        throw std::logic_error(std::string("context-utils: ") + key + " is not an array!");
    return pu::get_strings(array, key);
}

}  // namespace

zone_impl::zone_impl(const Json::Value& object, boost::optional<const Json::Value&> notify)
    : m_json_value(object), m_json_notify(notify) {}

std::string zone_impl::get_uid() const {
    return pu::get_string(m_json_value, "uid");
}

std::string zone_impl::get_project_uid() const {
    return pu::get_string(m_json_value, "project_uid");
}

std::string zone_impl::get_name() const {
    return pu::get_string(m_json_value, "name");
}

boost::optional<std::string> zone_impl::get_sublocation_uid() const {
    return pu::try_get_string(m_json_value, "sublocation_uid");
}

bool zone_impl::get_active() const {
    return pu::get_bool(m_json_value, "active");
}

std::string zone_impl::get_shape() const {
    return pu::get_string(m_json_value, "shape");
}

std::string zone_impl::get_zone_type_name() const {
    return pu::get_string(m_json_value, "zone_type_name");
}

unsigned int zone_impl::get_zone_alarm_level() const {
    return pu::get_uint(m_json_value, "zone_alarm_level");
}

bool zone_impl::get_default_allowed() const {
    return pu::get_bool(m_json_value, "default_allowed");
}

int zone_impl::get_priority() const {
    return pu::get_int(m_json_value, "priority");
}

unsigned int zone_impl::get_ts() const {
    return pu::get_change_ts(m_json_value, m_json_notify);
}

unsigned int zone_impl::get_ms() const {
    return pu::get_change_ms(m_json_value, m_json_notify);
}

boost::optional<std::string> zone_impl::get_trackable_object_uid() const {
    return pu::try_get_string(m_json_value, "trackable_object_uid");
}

boost::optional<int> zone_impl::get_radius() const {
    return pu::try_get_number(pu::member(m_json_value, "zone_geometry"), "radius");
}

bool zone_impl::for_each_point(const point_callback& callback) const {
    const Json::Value& positions = pu::member(pu::member(m_json_value, "zone_geometry"), "positions");
    pu::check_vertex_count(positions, pu::try_get_string(m_json_value, "uid"));
    return for_each_element<point_impl>(positions, callback);
}

std::vector<std::string> zone_impl::get_zone_exceptions() const {
    return strings_member(m_json_value, "zone_exceptions");
}

std::vector<std::string> zone_impl::get_zone_exceptions_groups() const {
    return strings_member(m_json_value, "zone_exceptions_groups");
}

bool zone_impl::for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const {
    return for_each_element<trackable_in_zone_impl>(pu::member(m_json_value, "trackables_in_zone"), callback);
}

}  // namespace kel::libs::context_utils::parsers
