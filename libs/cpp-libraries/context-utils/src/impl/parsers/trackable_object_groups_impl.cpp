#include "parsers/trackable_object_groups_impl.h"

#include "parser_utils.h"

#include <stdexcept>

namespace kel::libs::context_utils::parsers {

namespace pu = parser_utils;

namespace {

class group_impl final : public trackable_object_groups::group {
public:
    group_impl(std::string uid, const Json::Value& json) : m_uid(std::move(uid)), m_json_value(json) {}

    std::string get_uid() const override { return m_uid; }

    std::string get_trackable_object_uid() const override {
        if (auto uid = pu::try_get_string(m_json_value, "trackableObject"))
            return std::move(*uid);
        throw std::logic_error("context-utils::group_impl: trackableObject is not a string!");
    }

private:
    std::string m_uid;
    const Json::Value& m_json_value;
};

}  // namespace

trackable_object_groups_impl::trackable_object_groups_impl(const Json::Value& plist, const Json::Value& notify)
    : m_json_value(plist), m_json_notify(notify) {}

core::timestamp trackable_object_groups_impl::get_ts() const {
    return pu::get_notification_time(m_json_notify);
}

std::string trackable_object_groups_impl::get_project_uid() const {
    if (auto uid = pu::try_get_string(m_json_notify, "project_uid"))
        return std::move(*uid);
    throw std::logic_error("context-utils: project_uid is not a string!");
}

bool trackable_object_groups_impl::for_each_added_group(const group_callback& callback) const {
    return for_each_group("ADD_GROUP", callback);
}

bool trackable_object_groups_impl::for_each_removed_group(const group_callback& callback) const {
    return for_each_group("REMOVE_GROUP", callback);
}

bool trackable_object_groups_impl::for_each_group(boost::string_view action, const group_callback& callback) const {
    if (!m_json_value.isObject())
        throw std::logic_error("context-utils: plist is not an object!");
    for (auto entry = m_json_value.begin(); entry != m_json_value.end(); ++entry) {
        if (pu::try_get_string(*entry, "action") != action.to_string())
            continue;
        if (!callback(group_impl(entry.name(), *entry)))
            return false;
    }
    return true;
}

}  // namespace kel::libs::context_utils::parsers
