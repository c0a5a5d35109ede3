#pragma once

#include "core/source_location.h"

#include <json/json.h>

#include <boost/utility/string_view.hpp>

#include <string>

namespace kel::libs::core::json {

struct parse_result {
    Json::Value result;
    bool ok = false;
    std::string error;
};

// Never throws for bad input: the failure is in the result.
parse_result try_parse(boost::string_view text);
// Throws kel::libs::core::exception "parse error: ..." at `location`.
Json::Value parse(boost::string_view text, source_location location);
// Compact one-line JSON, members in key order.
std::string to_string(const Json::Value& value);
// View of a string value's bytes; the caller has checked isString(). Valid as
// long as the value lives.
boost::string_view as_string_view(const Json::Value& value);

}  // namespace kel::libs::core::json
