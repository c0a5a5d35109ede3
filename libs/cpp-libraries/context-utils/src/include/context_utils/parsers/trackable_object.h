#pragma once

#include <boost/optional.hpp>

#include <string>
#include <vector>

namespace kel::libs::context_utils::parsers {

// A trackable object as the server describes it, in a notification or in one
// of its answers. Reads the JSON on every call; a required field that is
// absent or of the wrong kind throws std::logic_error. A view lives no
// longer than the JSON it reads.
class trackable_object {
public:
    virtual ~trackable_object() = default;

    virtual std::string get_uid() const = 0;
    virtual std::string get_name() const = 0;
    // Present when the object's tag node says so.
    virtual boost::optional<bool> get_responsive() const = 0;
    // Present when a tag is associated with the object.
    virtual boost::optional<std::string> get_mac_address() const = 0;
    virtual std::string get_project_uid() const = 0;
    virtual boost::optional<std::string> get_sublocation_uid() const = 0;
    virtual boost::optional<int> get_x() const = 0;
    virtual boost::optional<int> get_y() const = 0;
    virtual boost::optional<int> get_z() const = 0;
    // Time of the change, as for a zone.
    virtual unsigned int get_ts() const = 0;
    virtual unsigned int get_ms() const = 0;
    virtual boost::optional<std::string> get_self_zone_uid() const = 0;
    virtual boost::optional<std::vector<std::string>> get_groups() const = 0;
    virtual int get_default_height() const = 0;
    virtual std::string get_type() const = 0;
    virtual std::string get_category() const = 0;
};

}  // namespace kel::libs::context_utils::parsers
