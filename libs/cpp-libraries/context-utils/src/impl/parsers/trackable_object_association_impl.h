#pragma once

#include "context_utils/parsers/trackable_object_association.h"

#include <json/json.h>

namespace kel::libs::context_utils::parsers {

// The association view over a notification: "plist" holds the association,
// the notification itself the time. Holds references only.
class trackable_object_association_impl final : public trackable_object_association {
public:
    trackable_object_association_impl(const Json::Value& plist, const Json::Value& notify);

    core::timestamp get_ts() const override;
    std::string get_project_uid() const override;
    std::string get_mac_address() const override;
    std::string get_trackable_object_uid() const override;
    core::timestamp get_created_at() const override;
    boost::optional<core::timestamp> get_removed_at() const override;

private:
    std::string required_string(const char* key) const;
    core::timestamp required_time(const char* key) const;

    const Json::Value& m_json_value;
    const Json::Value& m_json_notify;
};

}  // namespace kel::libs::context_utils::parsers
