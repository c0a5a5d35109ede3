#pragma once

#include <core/timestamp.h>

#include <boost/optional.hpp>

#include <functional>
#include <string>
#include <vector>

namespace kel::libs::context_utils::objects {

// A zone as listed by the server. Fields are read when called; one of the
// wrong JSON kind (or a required one that is absent) throws
// kel::libs::core::exception `"<key>" is not <kind>!`. A view lives no
// longer than the answer it reads.
class zone {
public:
    class point {
    public:
        virtual ~point() = default;
        virtual int get_x() const = 0;
        virtual int get_y() const = 0;
    };

    class zone_geometry {
    public:
        // Return false to stop the walk.
        using point_callback = std::function<bool(const point&)>;

        virtual ~zone_geometry() = default;
        virtual boost::optional<int> get_radius() const = 0;
        // Returns false when the callback stopped the walk.
        virtual bool for_each_point(const point_callback& callback) const = 0;
    };

    class trackable_in_zone {
    public:
        virtual ~trackable_in_zone() = default;
        virtual std::string get_uid() const = 0;
    };

    using trackable_in_zone_callback = std::function<bool(const trackable_in_zone&)>;

    virtual ~zone() = default;

    virtual std::string get_uid() const = 0;
    virtual std::string get_project_uid() const = 0;
    virtual boost::optional<std::string> get_sublocation_uid() const = 0;
    virtual boost::optional<std::string> get_trackable_object_uid() const = 0;
    virtual bool get_active() const = 0;
    virtual std::string get_shape() const = 0;
    virtual std::string get_zone_type_name() const = 0;
    virtual bool get_default_allowed() const = 0;
    virtual std::vector<std::string> get_zone_exceptions() const = 0;
    virtual std::vector<std::string> get_zone_exceptions_groups() const = 0;
    // None when the zone has no geometry.
    virtual boost::optional<const zone_geometry&> get_zone_geometry() const = 0;
    virtual bool for_each_trackable_in_zone(const trackable_in_zone_callback& callback) const = 0;
    virtual core::timestamp get_updated_at() const = 0;
};

}  // namespace kel::libs::context_utils::objects
