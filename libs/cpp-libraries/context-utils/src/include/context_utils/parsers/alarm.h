#pragma once

#include <boost/optional.hpp>

#include <string>

namespace kel::libs::context_utils::parsers {

// An alarm listed by the server. Reads the JSON on every call and throws
// std::logic_error for a missing or malformed required field; lives no
// longer than the answer.
class alarm {
public:
    virtual ~alarm() = default;

    virtual std::string get_uid() const = 0;
    virtual std::string get_mac_address() const = 0;
    virtual std::string get_alarm_name() const = 0;
    virtual std::string get_text() const = 0;
    virtual std::string get_obj_uid() const = 0;
    virtual boost::optional<int> get_zone_alarm_level() const = 0;
    virtual boost::optional<std::string> get_zone_violation_type() const = 0;
    virtual boost::optional<std::string> get_zone_uid() const = 0;
    virtual boost::optional<std::string> get_sublocation_uid() const = 0;
    virtual boost::optional<int> get_x() const = 0;
    virtual boost::optional<int> get_y() const = 0;
    virtual boost::optional<int> get_z() const = 0;
    virtual unsigned int get_ts() const = 0;
    virtual unsigned int get_ms() const = 0;
};

}  // namespace kel::libs::context_utils::parsers
