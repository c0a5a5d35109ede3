#include "objects/trackable_object_impl.h"

#include "objects/object_fields.h"
#include "parser_utils.h"

namespace kel::libs::context_utils::objects {

namespace of = object_fields;

trackable_object_impl::trackable_object_impl(const Json::Value& object)
    : m_json_value(object),
      m_position(parser_utils::member(object, "position")),
      m_node(parser_utils::member(object, "node")) {}

std::string trackable_object_impl::get_uid() const {
    return of::read_string(m_json_value, "uid");
}

std::string trackable_object_impl::get_project_uid() const {
    return of::read_string(m_json_value, "project_uid");
}

boost::optional<const trackable_object::position&> trackable_object_impl::get_position() const {
    if (of::read_optional_object(m_json_value, "position") == nullptr)
        return boost::none;
    return boost::optional<const position&>(m_position);
}

boost::optional<std::vector<std::string>> trackable_object_impl::get_groups() const {
    return of::read_optional_strings(m_json_value, "groups");
}

boost::optional<const trackable_object::node&> trackable_object_impl::get_node() const {
    if (of::read_optional_object(m_json_value, "node") == nullptr)
        return boost::none;
    return boost::optional<const node&>(m_node);
}

core::timestamp trackable_object_impl::get_updated_at() const {
    return of::read_time(m_json_value, "updated_at");
}

int trackable_object_impl::position_impl::get_x() const {
    return of::read_number(m_json_value, "x");
}

int trackable_object_impl::position_impl::get_y() const {
    return of::read_number(m_json_value, "y");
}

int trackable_object_impl::position_impl::get_z() const {
    return of::read_number(m_json_value, "z");
}

boost::optional<std::string> trackable_object_impl::position_impl::get_sl_id() const {
    return of::read_optional_string(m_json_value, "sl_id");
}

bool trackable_object_impl::node_impl::get_responsive() const {
    return of::read_bool(m_json_value, "responsive");
}

}  // namespace kel::libs::context_utils::objects
