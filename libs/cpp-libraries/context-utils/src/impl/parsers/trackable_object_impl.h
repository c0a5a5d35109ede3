#pragma once

#include "context_utils/parsers/trackable_object.h"

#include <json/json.h>

#include <boost/optional.hpp>

namespace kel::libs::context_utils::parsers {

// The trackable object view over a notification's "plist" (with the
// notification, whose "ts"/"ms" give the time) or over an object of a server
// answer. Holds references only: the JSON must outlive the view.
class trackable_object_impl final : public trackable_object {
public:
    trackable_object_impl(const Json::Value& object, boost::optional<const Json::Value&> notify = boost::none);

    std::string get_uid() const override;
    std::string get_name() const override;
    boost::optional<bool> get_responsive() const override;
    boost::optional<std::string> get_mac_address() const override;
    std::string get_project_uid() const override;
    boost::optional<std::string> get_sublocation_uid() const override;
    boost::optional<int> get_x() const override;
    boost::optional<int> get_y() const override;
    boost::optional<int> get_z() const override;
    unsigned int get_ts() const override;
    unsigned int get_ms() const override;
    boost::optional<std::string> get_self_zone_uid() const override;
    boost::optional<std::vector<std::string>> get_groups() const override;
    int get_default_height() const override;
    std::string get_type() const override;
    std::string get_category() const override;

private:
    const Json::Value& node() const;
    const Json::Value& position() const;

    const Json::Value& m_json_value;
    boost::optional<const Json::Value&> m_json_notify;
};

}  // namespace kel::libs::context_utils::parsers
