#pragma once

#include "context_utils/parsers/zone.h"

#include <json/json.h>

#include <boost/optional.hpp>

namespace kel::libs::context_utils::parsers {

// The zone view over the JSON of one zone: a notification's "plist" with
// the notification itself (whose "ts"/"ms" give the time), or an object of a
// server answer without one. Holds references only: the JSON must outlive
// the view.
class zone_impl final : public zone {
public:
    zone_impl(const Json::Value& object, boost::optional<const Json::Value&> notify = boost::none);

    std::string get_uid() const override;
    std::string get_project_uid() const override;
    std::string get_name() const override;
    boost::optional<std::string> get_sublocation_uid() const override;
    bool get_active() const override;
    std::string get_shape() const override;
    std::string get_zone_type_name() const override;
    unsigned int get_zone_alarm_level() const override;
    bool get_default_allowed() const override;
    int get_priority() const override;
    unsigned int get_ts() const override;
    unsigned int get_ms() const override;
    boost::optional<std::string> get_trackable_object_uid() const override;
    boost::optional<int> get_radius() const override;
    bool for_each_point(const point_callback& callback) const override;
    std::vector<std::string> get_zone_exceptions() const override;
    std::vector<std::string> get_zone_exceptions_groups() const override;
    bool for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const override;

private:
    const Json::Value& m_json_value;
    boost::optional<const Json::Value&> m_json_notify;
};

}  // namespace kel::libs::context_utils::parsers
