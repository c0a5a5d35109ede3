#pragma once

#include <core/timestamp.h>

#include <functional>
#include <string>

namespace kel::libs::context_utils::parsers {

// A change of group memberships (notification "TRACKABLE_OBJECT_GROUPS"):
// each member of "plist" names a group and says whether one trackable
// object joins it ("ADD_GROUP") or leaves it ("REMOVE_GROUP"). Reads the
// JSON on every call; lives no longer than the notification.
class trackable_object_groups {
public:
    class group {
    public:
        virtual ~group() = default;
        virtual std::string get_uid() const = 0;
        // Throws std::logic_error when "trackableObject" is not a string.
        virtual std::string get_trackable_object_uid() const = 0;
    };

    // Return false to stop the walk.
    using group_callback = std::function<bool(const group&)>;

    virtual ~trackable_object_groups() = default;

    virtual core::timestamp get_ts() const = 0;
    virtual std::string get_project_uid() const = 0;
    // Walk the entries of one action in the order of the group uids; an
    // entry with any other action is skipped. Return false when the callback
    // stopped the walk.
    virtual bool for_each_added_group(const group_callback& callback) const = 0;
    virtual bool for_each_removed_group(const group_callback& callback) const = 0;
};

}  // namespace kel::libs::context_utils::parsers
