#pragma once

#include <core/timestamp.h>

#include <boost/optional.hpp>

#include <string>

namespace kel::libs::context_utils::parsers {

// The association of a tag (by MAC address) with a trackable object
// (notification "TRACKABLE_OBJECT_ASSOCIATION"). Reads the JSON on every
// call and throws std::logic_error for a missing or malformed field; lives
// no longer than the notification.
class trackable_object_association {
public:
    virtual ~trackable_object_association() = default;

    virtual core::timestamp get_ts() const = 0;
    virtual std::string get_project_uid() const = 0;
    virtual std::string get_mac_address() const = 0;
    virtual std::string get_trackable_object_uid() const = 0;
    virtual core::timestamp get_created_at() const = 0;
    // None while the association holds.
    virtual boost::optional<core::timestamp> get_removed_at() const = 0;
};

}  // namespace kel::libs::context_utils::parsers
