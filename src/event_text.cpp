#include "event_text.h"

#include "core/json.h"

#include <json/json.h>

#include <charconv>
#include <initializer_list>

namespace kel {

namespace {

const boost::string_view event_topic = "#zone_event ";

// Printable ASCII but the quote and the backslash: what jsoncpp writes
// between quotes unchanged.
bool plain(boost::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7e || c == '"' || c == '\\')
            return false;
    }
    return true;
}

void append_number(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

void append_key(std::string& out, boost::string_view key) {
    if (out.back() != '{')
        out.push_back(',');
    out.push_back('"');
    out.append(key.data(), key.size());
    out.append("\":", 2);
}

void append_text(std::string& out, boost::string_view key, boost::string_view value) {
    append_key(out, key);
    out.push_back('"');
    out.append(value.data(), value.size());
    out.push_back('"');
}

void append_number(std::string& out, boost::string_view key, std::int64_t value) {
    append_key(out, key);
    append_number(out, value);
}

}  // namespace

std::string event_text_by_jsoncpp(const event_fields& e) {
    const auto text = [](boost::string_view s) { return Json::Value(s.data(), s.data() + s.size()); };
    Json::Value event(Json::objectValue);
    event["ts"] = Json::Int64(e.ts);
    event["ms"] = Json::UInt(e.ms);
    event["sublocation_uid"] = text(e.sublocation_uid);
    event["obj_uid"] = text(e.obj_uid);
    event["project_uid"] = text(e.project_uid);
    event["zone_uid"] = text(e.zone_uid);
    event["zone_type_name"] = text(e.zone_type_name);
    event["action"] = text(e.action);
    if (e.position) {
        event["x"] = e.position->get_x();
        event["y"] = e.position->get_y();
        event["z"] = e.position->get_z();
    }
    return event_topic.to_string() + libs::core::json::to_string(event);
}

// jsoncpp builds a map of the members and a stream for every event, some
// fifty allocations; the direct path makes none of its own, writing into a
// buffer the caller keeps. The keys below are in jsoncpp's order, that of
// its member map (byte-wise).
void append_event_text(const event_fields& e, std::string& out) {
    for (const auto field : {e.action, e.sublocation_uid, e.obj_uid, e.project_uid, e.zone_uid, e.zone_type_name})
        if (!plain(field)) {
            out += event_text_by_jsoncpp(e);
            return;
        }
    out.append(event_topic.data(), event_topic.size());
    out.push_back('{');
    append_text(out, "action", e.action);
    append_number(out, "ms", e.ms);
    append_text(out, "obj_uid", e.obj_uid);
    append_text(out, "project_uid", e.project_uid);
    append_text(out, "sublocation_uid", e.sublocation_uid);
    append_number(out, "ts", e.ts);
    if (e.position) {
        append_number(out, "x", e.position->get_x());
        append_number(out, "y", e.position->get_y());
        append_number(out, "z", e.position->get_z());
    }
    append_text(out, "zone_type_name", e.zone_type_name);
    append_text(out, "zone_uid", e.zone_uid);
    out.push_back('}');
}

std::string event_text(const event_fields& e) {
    std::string out;
    out.reserve(event_topic.size() + 160 + e.sublocation_uid.size() + e.obj_uid.size() + e.project_uid.size() +
                e.zone_uid.size() + e.zone_type_name.size());
    append_event_text(e, out);
    return out;
}

}  // namespace kel
