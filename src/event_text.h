#pragma once

#include "context/point.h"

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <cstdint>
#include <string>

namespace kel {

// The fields of one ENTER or LEAVE event as it goes on the wire.
struct event_fields {
    boost::string_view action;  // "enter" or "leave"
    std::int64_t ts = 0;         // seconds
    std::uint32_t ms = 0;        // milliseconds within the second
    boost::string_view sublocation_uid;
    boost::string_view obj_uid;
    boost::string_view project_uid;
    boost::string_view zone_uid;
    boost::string_view zone_type_name;
    boost::optional<context::point> position;  // "x", "y" and "z" when known
};

// The message of one event: "#zone_event " and a JSON object, keys sorted
// and no whitespace, byte for byte what jsoncpp's writer without
// indentation makes of the same object (peers compare these texts). Text
// fields that need no escaping, as uids do, are written directly; any other
// event is written by jsoncpp itself, so that its escapes stay exactly
// jsoncpp's.
std::string event_text(const event_fields& event);
// The same text, appended to `out`.
void append_event_text(const event_fields& event, std::string& out);
// The same text, always written by jsoncpp.
std::string event_text_by_jsoncpp(const event_fields& event);

}  // namespace kel
