#pragma once

#include <core/timestamp.h>

#include <boost/utility/string_view.hpp>

namespace kel::libs::context_utils::parsers {

// A position message ("$pos"). Reads the JSON on every call; a field that is
// absent or of the wrong kind throws kel::libs::core::exception
// "context-utils: pos: <field> is not ...!". The views returned point into
// the message and are valid while it lives, i.e. during the callback.
class pos {
public:
    virtual ~pos() = default;

    virtual boost::string_view get_trackable_uid() const = 0;
    virtual core::timestamp get_ts() const = 0;
    virtual int get_x() const = 0;
    virtual int get_y() const = 0;
    virtual int get_z() const = 0;
    virtual boost::string_view get_type() const = 0;
    virtual boost::string_view get_sublocation_uid() const = 0;
    virtual unsigned int get_fom() const = 0;
    virtual boost::string_view get_mac() const = 0;
};

}  // namespace kel::libs::context_utils::parsers
