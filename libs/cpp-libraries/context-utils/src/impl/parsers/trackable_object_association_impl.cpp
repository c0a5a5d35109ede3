#include "parsers/trackable_object_association_impl.h"

#include "parser_utils.h"

#include <stdexcept>

namespace kel::libs::context_utils::parsers {

namespace pu = parser_utils;

namespace {

// The server's way of saying that an association was never removed.
constexpr const char* never_removed = "9999-12-31T23:59:59.000Z";

}  // namespace

trackable_object_association_impl::trackable_object_association_impl(const Json::Value& plist,
                                                                     const Json::Value& notify)
    : m_json_value(plist), m_json_notify(notify) {}

core::timestamp trackable_object_association_impl::get_ts() const {
    return pu::get_notification_time(m_json_notify);
}

std::string trackable_object_association_impl::get_project_uid() const {
    return required_string("project_uid");
}

std::string trackable_object_association_impl::get_mac_address() const {
    return required_string("mac_address");
}

std::string trackable_object_association_impl::get_trackable_object_uid() const {
    return required_string("trob_uid");
}

core::timestamp trackable_object_association_impl::get_created_at() const {
    return required_time("created_at");
}

boost::optional<core::timestamp> trackable_object_association_impl::get_removed_at() const {
    if (required_string("removed_at") == never_removed)
        return boost::none;
    return required_time("removed_at");
}

std::string trackable_object_association_impl::required_string(const char* key) const {
    if (auto value = pu::try_get_string(m_json_value, key))
        return std::move(*value);
    throw std::logic_error(std::string("context-utils: ") + key + " is not a string!");
}

core::timestamp trackable_object_association_impl::required_time(const char* key) const {
    if (const auto time = pu::parse_iso8601(required_string(key)))
        return *time;
    throw std::logic_error(std::string("context-utils: failed to parse timestamp: \"") + key + "\"");
}

}  // namespace kel::libs::context_utils::parsers
