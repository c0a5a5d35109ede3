#pragma once

#include "context_utils/parsers/trackable_object_groups.h"

#include <json/json.h>

namespace kel::libs::context_utils::parsers {

// The groups view over a notification: "plist" holds the entries, the
// notification itself the time and the project. Holds references only.
class trackable_object_groups_impl final : public trackable_object_groups {
public:
    trackable_object_groups_impl(const Json::Value& plist, const Json::Value& notify);

    core::timestamp get_ts() const override;
    std::string get_project_uid() const override;
    bool for_each_added_group(const group_callback& callback) const override;
    bool for_each_removed_group(const group_callback& callback) const override;

private:
    bool for_each_group(boost::string_view action, const group_callback& callback) const;

    const Json::Value& m_json_value;
    const Json::Value& m_json_notify;
};

}  // namespace kel::libs::context_utils::parsers
