#include "parser_utils.h"

#include <core/exception.h>

#include <cctype>
#include <cmath>
#include <ctime>
#include <limits>
#include <stdexcept>

namespace kel::libs::context_utils::parser_utils {

namespace {

[[noreturn]] void throw_not(boost::string_view key, boost::string_view name, const char* kind) {
    const boost::string_view shown = name.empty() ? key : name;
    throw std::logic_error("context-utils: \"" + shown.to_string() + "\" is not " + kind + "!");
}

// Reads the digits of one field at a fixed position, at most `width` of them
// so that a run of digits can never overflow; none at all is an error.
bool digit_at(boost::string_view text, std::size_t position) {
    return position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]));
}

boost::optional<int> field(boost::string_view text, std::size_t position, std::size_t width) {
    int value = 0;
    std::size_t digits = 0;
    for (; digits < width && digit_at(text, position + digits); ++digits)
        value = value * 10 + (text[position + digits] - '0');
    if (digits == 0)
        return boost::none;
    return value;
}

// Milliseconds of the fraction that starts at `position`: its first three
// digits, so that ".5" is 500 ms and microseconds are cut to milliseconds.
unsigned int fraction_ms(boost::string_view text, std::size_t position) {
    unsigned int ms = 0;
    std::size_t digits = 0;
    for (; digits < 3 && digit_at(text, position + digits); ++digits)
        ms = ms * 10 + static_cast<unsigned int>(text[position + digits] - '0');
    for (; digits < 3; ++digits)
        ms *= 10;
    return ms;
}

}  // namespace

unsigned int get_change_ts(const Json::Value& object, const boost::optional<const Json::Value&>& notify) {
    if (notify)
        return get_uint(*notify, "ts");
    return static_cast<unsigned int>(get_iso8601_timestamp(object, "updated_at").get_ts());
}

unsigned int get_change_ms(const Json::Value& object, const boost::optional<const Json::Value&>& notify) {
    if (notify)
        return get_uint(*notify, "ms");
    return get_iso8601_timestamp(object, "updated_at").get_ms();
}

core::timestamp get_notification_time(const Json::Value& notify) {
    const Json::Value& ts = member(notify, "ts");
    const Json::Value& ms = member(notify, "ms");
    // Bounded so that the count of milliseconds cannot overflow.
    constexpr Json::Int64 max_seconds = std::numeric_limits<Json::Int64>::max() / 1000 - 1;
    if (!ts.isInt64() || ts.asInt64() < 0 || ts.asInt64() > max_seconds)
        throw std::logic_error("context-utils: ts is not an int!");
    if (!ms.isUInt())
        throw std::logic_error("context-utils: ms is not an int!");
    return core::timestamp(static_cast<std::time_t>(ts.asInt64()), ms.asUInt());
}

std::vector<std::string> get_strings(const Json::Value& array, boost::string_view name) {
    std::vector<std::string> strings;
    strings.reserve(array.size());
    for (const auto& element : array) {
        if (!element.isString())
            throw std::logic_error("context-utils: " + name.to_string() + " is not an array of strings!");
        strings.push_back(element.asString());
    }
    return strings;
}

const Json::Value& member(const Json::Value& object, boost::string_view key) {
    static const Json::Value null;
    if (!object.isObject())
        return null;
    const Json::Value* found = object.find(key.data(), key.data() + key.size());
    return found ? *found : null;
}

bool fits_int(const Json::Value& value) {
    if (value.isInt())
        return true;
    if (!value.isNumeric())
        return false;
    const double integral = std::trunc(value.asDouble());
    return integral >= std::numeric_limits<int>::min() && integral <= std::numeric_limits<int>::max();
}

int to_int(const Json::Value& value) {
    return value.isInt() ? value.asInt() : static_cast<int>(std::trunc(value.asDouble()));
}

std::string get_string(const Json::Value& object, boost::string_view key, boost::string_view name) {
    if (auto v = try_get_string(object, key))
        return std::move(*v);
    throw_not(key, name, "a string");
}

bool get_bool(const Json::Value& object, boost::string_view key, boost::string_view name) {
    if (const auto v = try_get_bool(object, key))
        return *v;
    throw_not(key, name, "a bool");
}

int get_int(const Json::Value& object, boost::string_view key, boost::string_view name) {
    if (const auto v = try_get_int(object, key))
        return *v;
    throw_not(key, name, "an int");
}

int get_number(const Json::Value& object, boost::string_view key, boost::string_view name) {
    if (const auto v = try_get_number(object, key))
        return *v;
    throw_not(key, name, "a number");
}

unsigned int get_uint(const Json::Value& object, boost::string_view key, boost::string_view name) {
    const Json::Value& value = member(object, key);
    if (!value.isUInt())
        throw_not(key, name, "an uint");
    return value.asUInt();
}

core::timestamp get_iso8601_timestamp(const Json::Value& object, boost::string_view key, boost::string_view name) {
    if (const auto v = try_get_iso8601_timestamp(object, key))
        return *v;
    const boost::string_view shown = name.empty() ? key : name;
    throw std::logic_error("context-utils: failed to parse timestamp: \"" + shown.to_string() + "\"");
}

boost::optional<std::string> try_get_string(const Json::Value& object, boost::string_view key) {
    const Json::Value& value = member(object, key);
    if (!value.isString())
        return boost::none;
    return value.asString();
}

boost::optional<bool> try_get_bool(const Json::Value& object, boost::string_view key) {
    const Json::Value& value = member(object, key);
    if (!value.isBool())
        return boost::none;
    return value.asBool();
}

boost::optional<int> try_get_int(const Json::Value& object, boost::string_view key) {
    const Json::Value& value = member(object, key);
    if (!value.isInt())
        return boost::none;
    return value.asInt();
}

boost::optional<int> try_get_number(const Json::Value& object, boost::string_view key) {
    const Json::Value& value = member(object, key);
    if (!fits_int(value))
        return boost::none;
    return to_int(value);
}

boost::optional<core::timestamp> try_get_iso8601_timestamp(const Json::Value& object, boost::string_view key) {
    const Json::Value& value = member(object, key);
    if (!value.isString())
        return boost::none;
    const char* begin = nullptr;
    const char* end = nullptr;
    value.getString(&begin, &end);
    return parse_iso8601(boost::string_view(begin, static_cast<std::size_t>(end - begin)));
}

boost::optional<core::timestamp> parse_iso8601(boost::string_view text) {
    constexpr std::size_t minimal_length = 24;
    if (text.size() < minimal_length)
        return boost::none;
    const auto year = field(text, 0, 4);
    const auto month = field(text, 5, 2);
    const auto day = field(text, 8, 2);
    const auto hour = field(text, 11, 2);
    const auto minute = field(text, 14, 2);
    const auto second = field(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second)
        return boost::none;
    std::tm broken_down{};
    broken_down.tm_year = *year - 1900;
    broken_down.tm_mon = *month - 1;
    broken_down.tm_mday = *day;
    broken_down.tm_hour = *hour;
    broken_down.tm_min = *minute;
    broken_down.tm_sec = *second;
    return core::timestamp(timegm(&broken_down), fraction_ms(text, 20));
}

void check_vertex_count(const Json::Value& positions, const boost::optional<std::string>& uid) {
    if (!positions.isArray() || positions.size() <= max_zone_vertices)
        return;
    KEL_THROW("Refused zone " + uid.value_or("without uid") + ": " + std::to_string(positions.size()) +
              " vertices, more than the limit of " + std::to_string(max_zone_vertices));
}

}  // namespace kel::libs::context_utils::parser_utils
