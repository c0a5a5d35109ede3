#pragma once

#include <core/timestamp.h>

#include <boost/optional.hpp>

#include <functional>
#include <string>
#include <vector>

namespace kel::libs::context_utils::parsers {

// A zone as the server describes it, in a notification or in one of its
// answers. Every accessor reads the JSON when called (nothing is cached);
// a required field that is absent or of the wrong kind throws
// std::logic_error. A view lives no longer than the JSON it reads.
class zone {
public:
    class point {
    public:
        virtual ~point() = default;
        virtual int get_x() const = 0;
        virtual int get_y() const = 0;
    };

    // An object the server reports inside the zone, with where and when it
    // entered.
    class trackable_in_zone {
    public:
        virtual ~trackable_in_zone() = default;
        virtual std::string get_uid() const = 0;
        virtual int get_x() const = 0;
        virtual int get_y() const = 0;
        virtual int get_z() const = 0;
        virtual core::timestamp get_time() const = 0;
    };

    // Return false to stop the walk.
    using point_callback = std::function<bool(const point&)>;
    using trackable_in_zone_callback = std::function<bool(const trackable_in_zone&)>;

    virtual ~zone() = default;

    virtual std::string get_uid() const = 0;
    virtual std::string get_project_uid() const = 0;
    virtual std::string get_name() const = 0;
    virtual boost::optional<std::string> get_sublocation_uid() const = 0;
    virtual bool get_active() const = 0;
    virtual std::string get_shape() const = 0;
    virtual std::string get_zone_type_name() const = 0;
    virtual unsigned int get_zone_alarm_level() const = 0;
    virtual bool get_default_allowed() const = 0;
    virtual int get_priority() const = 0;
    // Time of the change: the notification's "ts"/"ms", or the object's
    // "updated_at" when it comes from a server answer.
    virtual unsigned int get_ts() const = 0;
    virtual unsigned int get_ms() const = 0;
    virtual boost::optional<std::string> get_trackable_object_uid() const = 0;
    virtual boost::optional<int> get_radius() const = 0;
    // Walks the polygon in order; returns false when the callback stopped it.
    virtual bool for_each_point(const point_callback& callback) const = 0;
    virtual std::vector<std::string> get_zone_exceptions() const = 0;
    virtual std::vector<std::string> get_zone_exceptions_groups() const = 0;
    virtual bool for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const = 0;
};

}  // namespace kel::libs::context_utils::parsers
