#include "zone_change_script.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace kel::site {

namespace {

std::chrono::milliseconds seconds_of(const Json::Value& value, const std::string& what) {
    if (!value.isNumeric() || value.asDouble() < 0)
        throw std::runtime_error(what + " is not a number of seconds");
    return std::chrono::milliseconds(std::llround(value.asDouble() * 1000));
}

zone_change_script::change change_of(const Json::Value& entry, const site_objects& objects) {
    if (!entry.isObject() || !entry["zone_uid"].isString() || !entry["set"].isObject())
        throw std::runtime_error("a change is not {\"at\": seconds, \"zone_uid\": uid, \"set\": {...}}");
    zone_change_script::change c{seconds_of(entry["at"], "\"at\""), entry["zone_uid"].asString(), entry["set"]};
    if (!objects.zone(c.zone_uid))
        throw std::runtime_error("a change names the unknown zone " + c.zone_uid);
    return c;
}

}  // namespace

zone_change_script::zone_change_script(const Json::Value& script, const site_objects& objects) {
    if (script.isNull())
        return;
    if (!script.isObject() || !script["changes"].isArray())
        throw std::runtime_error("\"changes\" is not an array");
    for (const Json::Value& entry : script["changes"])
        m_changes.push_back(change_of(entry, objects));
    std::stable_sort(m_changes.begin(), m_changes.end(),
                     [](const change& a, const change& b) { return a.at < b.at; });
    if (script.isMember("period"))
        m_period = seconds_of(script["period"], "\"period\"");
    if (m_period.count() > 0 && !m_changes.empty() && m_changes.back().at >= m_period)
        throw std::runtime_error("a change is due at or after the period");
}

bool zone_change_script::done() const {
    return m_index >= m_changes.size();
}

std::chrono::milliseconds zone_change_script::due() const {
    return m_period * m_round + m_changes[m_index].at;
}

void zone_change_script::advance() {
    ++m_index;
    if (m_index == m_changes.size() && m_period.count() > 0) {
        m_index = 0;
        ++m_round;
    }
}

}  // namespace kel::site
