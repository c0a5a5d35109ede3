#include "event_printer.h"

#include "core/json.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace kel::site {

namespace {

std::string text_of(const Json::Value& value) {
    return value.isString() ? value.asString() : std::string();
}

std::string quoted_name(const Json::Value* object, const std::string& uid) {
    return object ? "\"" + (*object)["name"].asString() + "\"" : uid;
}

std::string position_text(const Json::Value& event) {
    if (!event["x"].isInt() || !event["y"].isInt())
        return {};
    return " at (" + std::to_string(event["x"].asInt()) + ", " + std::to_string(event["y"].asInt()) + ")";
}

}  // namespace

event_printer::event_printer(const site_objects& objects, bool utc) : m_objects(objects), m_utc(utc) {}

std::string event_printer::event_line(boost::string_view message) const {
    const auto start = message.find('{');
    const auto parsed = libs::core::json::try_parse(start == boost::string_view::npos ? boost::string_view()
                                                                                       : message.substr(start));
    if (!parsed.ok || !parsed.result.isObject())
        return time_text(libs::core::timestamp::current_time()) + " ?????  unreadable message: " +
               std::string(message);
    return line_of(parsed.result);
}

std::string event_printer::line_of(const Json::Value& event) const {
    const std::string action = text_of(event["action"]);
    const bool enter = action == "enter";
    const bool leave = action == "leave";
    const libs::core::timestamp ts(event["ts"].isInt64() ? event["ts"].asInt64() : 0,
                                   event["ms"].isUInt() ? event["ms"].asUInt() : 0);
    const std::string verb = enter ? "ENTER " : leave ? "LEAVE " : "?" + action + "?";
    const std::string arrow = leave ? " <- " : " -> ";
    return time_text(ts) + " " + verb + " tag " + object_text(text_of(event["obj_uid"])) + arrow + "zone " +
           zone_text(text_of(event["zone_uid"])) + position_text(event);
}

std::string event_printer::zone_change_line(const std::string& zone_uid, const Json::Value& fields,
                                            libs::core::timestamp ts) const {
    return time_text(ts) + " NOTIFY zone " + zone_text(zone_uid) + " updated: " + libs::core::json::to_string(fields);
}

std::string event_printer::time_text(libs::core::timestamp ts) const {
    const std::time_t seconds = ts.get_ts();
    std::tm tm{};
    if (m_utc)
        gmtime_r(&seconds, &tm);
    else
        localtime_r(&seconds, &tm);
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%02d:%02d:%02d.%03u", tm.tm_hour, tm.tm_min, tm.tm_sec, ts.get_ms());
    return text.data();
}

std::string event_printer::object_text(const std::string& uid) const {
    return quoted_name(m_objects.trackable_object(uid), uid);
}

std::string event_printer::zone_text(const std::string& uid) const {
    const Json::Value* zone = m_objects.zone(uid);
    if (!zone)
        return uid;
    return quoted_name(zone, uid) + " (" + text_of((*zone)["zone_type_name"]) + ")";
}

}  // namespace kel::site
