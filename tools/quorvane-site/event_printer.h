#pragma once

#include "site_objects.h"

#include "core/timestamp.h"

#include <boost/utility/string_view.hpp>

#include <json/json.h>

#include <string>

namespace kel::site {

// Writes what happens on the site as one line each, for a person watching:
//   12:00:03.120 ENTER  tag "Alice" -> zone "Lab 1" (room) at (1200, 3400)
//   12:00:09.480 LEAVE  tag "Alice" <- zone "Lab 1" (room) at (8100, 3400)
//   12:00:30.000 NOTIFY zone "Lab 2" (room) updated: {"active":false}
// Names come from the site's objects, which must outlive the printer; an
// unknown uid is shown as the uid itself. Times are the events' own, in local
// time or UTC.
class event_printer {
public:
    event_printer(const site_objects& objects, bool utc);

    // A message of the proxy input: "#zone_event " and a JSON object. A
    // message that cannot be read gives a line that shows it as it came.
    std::string event_line(boost::string_view message) const;
    std::string zone_change_line(const std::string& zone_uid, const Json::Value& fields,
                                 libs::core::timestamp ts) const;
    // "HH:MM:SS.mmm"
    std::string time_text(libs::core::timestamp ts) const;

private:
    std::string object_text(const std::string& uid) const;
    std::string zone_text(const std::string& uid) const;
    std::string line_of(const Json::Value& event) const;

    const site_objects& m_objects;
    bool m_utc;
};

}  // namespace kel::site
