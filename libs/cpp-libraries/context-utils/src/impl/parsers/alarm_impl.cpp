#include "parsers/alarm_impl.h"

#include "parser_utils.h"

#include <stdexcept>

namespace kel::libs::context_utils::parsers {

namespace pu = parser_utils;

namespace {

std::string required_string(const Json::Value& object, const char* key, const char* name) {
    if (auto value = pu::try_get_string(object, key))
        return std::move(*value);
    throw std::logic_error(std::string("context-utils: ") + name + " is not a string!");
}

}  // namespace

alarm_impl::alarm_impl(const Json::Value& object) : m_json_value(object) {}

std::string alarm_impl::get_uid() const {
    return required_string(m_json_value, "uid", "uid");
}

std::string alarm_impl::get_mac_address() const {
    return required_string(m_json_value, "mac_address", "mac_address");
}

std::string alarm_impl::get_alarm_name() const {
    return required_string(m_json_value, "alarm_name", "alarm_name");
}

std::string alarm_impl::get_text() const {
    return required_string(additional_info(), "text", "additional_info.text");
}

std::string alarm_impl::get_obj_uid() const {
    return required_string(m_json_value, "obj_uid", "obj_uid");
}

boost::optional<int> alarm_impl::get_zone_alarm_level() const {
    return pu::try_get_int(additional_info(), "zone_alarm_level");
}

boost::optional<std::string> alarm_impl::get_zone_violation_type() const {
    return pu::try_get_string(additional_info(), "zone_violation_type");
}

boost::optional<std::string> alarm_impl::get_zone_uid() const {
    return pu::try_get_string(additional_info(), "zone_uid");
}

boost::optional<std::string> alarm_impl::get_sublocation_uid() const {
    return pu::try_get_string(m_json_value, "sublocation_uid");
}

boost::optional<int> alarm_impl::get_x() const {
    return pu::try_get_int(m_json_value, "x");
}

boost::optional<int> alarm_impl::get_y() const {
    return pu::try_get_int(m_json_value, "y");
}

boost::optional<int> alarm_impl::get_z() const {
    return pu::try_get_int(m_json_value, "z");
}

unsigned int alarm_impl::get_ts() const {
    return static_cast<unsigned int>(alarm_time().get_ts());
}

unsigned int alarm_impl::get_ms() const {
    return alarm_time().get_ms();
}

const Json::Value& alarm_impl::additional_info() const {
    return pu::member(m_json_value, "additional_info");
}

core::timestamp alarm_impl::alarm_time() const {
    if (const auto time = pu::parse_iso8601(required_string(m_json_value, "ts", "ts")))
        return *time;
    throw std::logic_error("context-utils: failed to parse timestamp: \"ts\"");
}

}  // namespace kel::libs::context_utils::parsers
