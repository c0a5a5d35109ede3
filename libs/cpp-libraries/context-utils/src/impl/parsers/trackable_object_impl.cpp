#include "parsers/trackable_object_impl.h"

#include "parser_utils.h"

namespace kel::libs::context_utils::parsers {

namespace pu = parser_utils;

trackable_object_impl::trackable_object_impl(const Json::Value& object, boost::optional<const Json::Value&> notify)
    : m_json_value(object), m_json_notify(notify) {}

std::string trackable_object_impl::get_uid() const {
    return pu::get_string(m_json_value, "uid");
}

std::string trackable_object_impl::get_name() const {
    return pu::get_string(m_json_value, "name");
}

boost::optional<bool> trackable_object_impl::get_responsive() const {
    return pu::try_get_bool(node(), "responsive");
}

boost::optional<std::string> trackable_object_impl::get_mac_address() const {
    return pu::try_get_string(node(), "mac_address");
}

std::string trackable_object_impl::get_project_uid() const {
    return pu::get_string(m_json_value, "project_uid");
}

boost::optional<std::string> trackable_object_impl::get_sublocation_uid() const {
    return pu::try_get_string(position(), "sl_id");
}

boost::optional<int> trackable_object_impl::get_x() const {
    return pu::try_get_number(position(), "x");
}

boost::optional<int> trackable_object_impl::get_y() const {
    return pu::try_get_number(position(), "y");
}

boost::optional<int> trackable_object_impl::get_z() const {
    return pu::try_get_number(position(), "z");
}

unsigned int trackable_object_impl::get_ts() const {
    return pu::get_change_ts(m_json_value, m_json_notify);
}

unsigned int trackable_object_impl::get_ms() const {
    return pu::get_change_ms(m_json_value, m_json_notify);
}

boost::optional<std::string> trackable_object_impl::get_self_zone_uid() const {
    return pu::try_get_string(m_json_value, "self_zone_uid");
}

boost::optional<std::vector<std::string>> trackable_object_impl::get_groups() const {
    const Json::Value& groups = pu::member(m_json_value, "groups");
    if (!groups.isArray())
        return boost::none;
    return pu::get_strings(groups, "groups");
}

int trackable_object_impl::get_default_height() const {
    return pu::get_number(m_json_value, "default_height");
}

std::string trackable_object_impl::get_type() const {
    return pu::get_string(m_json_value, "type");
}

std::string trackable_object_impl::get_category() const {
    return pu::get_string(m_json_value, "category");
}

const Json::Value& trackable_object_impl::node() const {
    return pu::member(m_json_value, "node");
}

const Json::Value& trackable_object_impl::position() const {
    return pu::member(m_json_value, "position");
}

}  // namespace kel::libs::context_utils::parsers
