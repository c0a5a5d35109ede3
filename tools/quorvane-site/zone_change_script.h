#pragma once

#include "site_objects.h"

#include <json/json.h>

#include <chrono>
#include <string>
#include <vector>

namespace kel::site {

// The zone changes the demo makes on a timer, to show how the service takes
// a "notify": each change sets some fields of one zone (for example
// {"active": false}) at a time after the start. With a period, the whole
// script starts over every period. A cursor over the changes in time order.
class zone_change_script {
public:
    struct change {
        std::chrono::milliseconds at{0};
        std::string zone_uid;
        Json::Value fields;
    };

    // From the site file's "zone_changes":
    //   {"period": seconds, "changes": [{"at": seconds, "zone_uid": uid, "set": {...}}, ...]}
    // A null value is an empty script. Throws std::runtime_error for a
    // malformed entry, a zone the site does not have, or a change at or after
    // the period.
    zone_change_script(const Json::Value& script, const site_objects& objects);

    bool done() const;
    // Time since the start at which the current change is due; only while
    // not done.
    std::chrono::milliseconds due() const;
    const change& current() const { return m_changes[m_index]; }
    void advance();

private:
    std::vector<change> m_changes;
    std::chrono::milliseconds m_period{0};
    std::size_t m_index = 0;
    long m_round = 0;
};

}  // namespace kel::site
