#pragma once

#include <core/timestamp.h>

#include <boost/optional.hpp>

#include <string>
#include <vector>

namespace kel::libs::context_utils::objects {

// A trackable object as listed by the server. Fields are read when called;
// one of the wrong JSON kind (or a required one that is absent) throws
// kel::libs::core::exception `"<key>" is not <kind>!`. A view lives no longer
// than the answer it reads.
class trackable_object {
public:
    class position {
    public:
        virtual ~position() = default;
        virtual int get_x() const = 0;
        virtual int get_y() const = 0;
        virtual int get_z() const = 0;
        virtual boost::optional<std::string> get_sl_id() const = 0;
    };

    // The tag node associated with the object.
    class node {
    public:
        virtual ~node() = default;
        virtual bool get_responsive() const = 0;
    };

    virtual ~trackable_object() = default;

    virtual std::string get_uid() const = 0;
    virtual std::string get_project_uid() const = 0;
    virtual boost::optional<const position&> get_position() const = 0;
    virtual boost::optional<std::vector<std::string>> get_groups() const = 0;
    virtual boost::optional<const node&> get_node() const = 0;
    virtual core::timestamp get_updated_at() const = 0;
};

}  // namespace kel::libs::context_utils::objects
