#pragma once

#include <core/timestamp.h>

#include <json/json.h>

#include <boost/optional.hpp>

#include <string>
#include <vector>

// Readers of the fields of a server object. A field of the wrong JSON kind,
// or a required one that is absent, throws kel::libs::core::exception
// `"<key>" is not <kind>!`; an optional one that is absent or null is none.
namespace kel::libs::context_utils::objects::object_fields {

std::string read_string(const Json::Value& object, const char* key);
boost::optional<std::string> read_optional_string(const Json::Value& object, const char* key);
bool read_bool(const Json::Value& object, const char* key);
// Any JSON number whose integral part fits an int, truncated toward zero.
int read_number(const Json::Value& object, const char* key);
boost::optional<int> read_optional_number(const Json::Value& object, const char* key);
// None when absent or null.
const Json::Value* read_optional_object(const Json::Value& object, const char* key);
std::vector<std::string> read_strings(const Json::Value& object, const char* key);
boost::optional<std::vector<std::string>> read_optional_strings(const Json::Value& object, const char* key);
// Lenient ISO text; throws `failed to parse timestamp: "<key>"` when it
// cannot be read.
core::timestamp read_time(const Json::Value& object, const char* key);

}  // namespace kel::libs::context_utils::objects::object_fields
