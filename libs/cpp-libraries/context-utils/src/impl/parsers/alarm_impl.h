#pragma once

#include "context_utils/parsers/alarm.h"

#include <core/timestamp.h>

#include <json/json.h>

namespace kel::libs::context_utils::parsers {

// The alarm view over one object of a server answer, whose "ts" (ISO text)
// gives the time. Holds a reference only.
class alarm_impl final : public alarm {
public:
    explicit alarm_impl(const Json::Value& object);

    std::string get_uid() const override;
    std::string get_mac_address() const override;
    std::string get_alarm_name() const override;
    std::string get_text() const override;
    std::string get_obj_uid() const override;
    boost::optional<int> get_zone_alarm_level() const override;
    boost::optional<std::string> get_zone_violation_type() const override;
    boost::optional<std::string> get_zone_uid() const override;
    boost::optional<std::string> get_sublocation_uid() const override;
    boost::optional<int> get_x() const override;
    boost::optional<int> get_y() const override;
    boost::optional<int> get_z() const override;
    unsigned int get_ts() const override;
    unsigned int get_ms() const override;

private:
    const Json::Value& additional_info() const;
    core::timestamp alarm_time() const;

    const Json::Value& m_json_value;
};

}  // namespace kel::libs::context_utils::parsers
