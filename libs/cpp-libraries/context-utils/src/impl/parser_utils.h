#pragma once

#include <core/timestamp.h>

#include <json/json.h>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <string>
#include <vector>

// Readers of one member of a JSON object, shared by the payload views. A
// member that is absent or of another kind, or a container that is not an
// object at all, makes the get_ forms throw std::logic_error
// `context-utils: "<name>" is not <kind>!` (the name is the key unless one is
// given, e.g. "entered.x" for a nested key) and the try_ forms return none.
namespace kel::libs::context_utils::parser_utils {

std::string get_string(const Json::Value& object, boost::string_view key, boost::string_view name = {});
bool get_bool(const Json::Value& object, boost::string_view key, boost::string_view name = {});
int get_int(const Json::Value& object, boost::string_view key, boost::string_view name = {});
// Any JSON number whose integral part fits an int; a real is truncated
// toward zero. A number out of that range counts as not a number.
int get_number(const Json::Value& object, boost::string_view key, boost::string_view name = {});
unsigned int get_uint(const Json::Value& object, boost::string_view key, boost::string_view name = {});
// Fixed-position ISO text, see try_get_iso8601_timestamp; throws
// `context-utils: failed to parse timestamp: "<name>"` when it is not one.
core::timestamp get_iso8601_timestamp(const Json::Value& object, boost::string_view key,
                                      boost::string_view name = {});

boost::optional<std::string> try_get_string(const Json::Value& object, boost::string_view key);
boost::optional<bool> try_get_bool(const Json::Value& object, boost::string_view key);
boost::optional<int> try_get_int(const Json::Value& object, boost::string_view key);
boost::optional<int> try_get_number(const Json::Value& object, boost::string_view key);
// A string of at least 24 characters laid out as 2023-11-14T22:13:20.123Z,
// read at fixed positions in UTC; separators and zone designator are not
// checked. The fraction gives milliseconds from its first three digits.
boost::optional<core::timestamp> try_get_iso8601_timestamp(const Json::Value& object, boost::string_view key);
boost::optional<core::timestamp> parse_iso8601(boost::string_view text);

// Time of a change of a zone or trackable object: the notification's "ts"
// and "ms" (unsigned integers) when there is a notification, otherwise the
// object's "updated_at" (fixed-position ISO text).
unsigned int get_change_ts(const Json::Value& object, const boost::optional<const Json::Value&>& notify);
unsigned int get_change_ms(const Json::Value& object, const boost::optional<const Json::Value&>& notify);

// Time of a groups or association notification: its "ts" (seconds) and "ms"
// (milliseconds); throws std::logic_error "context-utils: ts is not an
// int!" (or ms) when one is not a non-negative integer.
core::timestamp get_notification_time(const Json::Value& notify);

// The elements of a JSON array of strings; a non-string element throws
// std::logic_error `context-utils: <name> is not an array of strings!`.
std::vector<std::string> get_strings(const Json::Value& array, boost::string_view name);

// The member itself, or a null value when it is absent or the container is
// not an object.
const Json::Value& member(const Json::Value& object, boost::string_view key);

// Far above any real zone, which has tens of vertices: one zone of a
// million cost the process over 400 MB.
constexpr unsigned int max_zone_vertices = 100000;
// Throws kel::libs::core::exception when the polygon `positions` holds more
// than max_zone_vertices points; `uid` names the zone when known.
void check_vertex_count(const Json::Value& positions, const boost::optional<std::string>& uid);
// Whether the value is a JSON number whose integral part fits an int.
bool fits_int(const Json::Value& value);
// The integral part of a value for which fits_int holds.
int to_int(const Json::Value& value);

}  // namespace kel::libs::context_utils::parser_utils
