#include "position_stream.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace kel::bench {

namespace {

// "YYYY-MM-DDTHH:MM:SS.mmmZ" as timestamp::to_iso_8601(true, 'T', true)
// writes it; the part up to the seconds is kept, as consecutive positions
// mostly share their second.
void append_iso(std::int64_t ms, std::string& out) {
    thread_local std::int64_t cached_second = -1;
    thread_local char seconds_text[32];
    const std::int64_t second = ms / 1000;
    if (second != cached_second) {
        const std::time_t t = static_cast<std::time_t>(second);
        std::tm tm{};
        gmtime_r(&t, &tm);
        std::strftime(seconds_text, sizeof(seconds_text), "%Y-%m-%dT%H:%M:%S", &tm);
        cached_second = second;
    }
    char millis[8];
    std::snprintf(millis, sizeof(millis), ".%03dZ", static_cast<int>(ms % 1000));
    out += seconds_text;
    out += millis;
}

void append_int(int value, std::string& out) {
    char text[16];
    const int n = std::snprintf(text, sizeof(text), "%d", value);
    out.append(text, static_cast<std::size_t>(n));
}

std::vector<site_lists::tag> walking(const std::vector<site_lists::tag>& tags, position_stream::walkers who) {
    std::vector<site_lists::tag> chosen;
    for (const auto& t : tags)
        if (who == position_stream::walkers::all || t.carrier == (who == position_stream::walkers::carriers))
            chosen.push_back(t);
    return chosen;
}

}  // namespace

position_stream::position_stream(const site_lists& site, std::uint32_t seed, int probe_every, walkers who)
    : m_tags(walking(site.tags(), who)),
      m_probe(site.probe()),
      m_extent(site.extent()),
      m_probe_every(std::max(probe_every, 1)),
      m_random(seed),
      m_pick(0, m_tags.empty() ? 0 : m_tags.size() - 1) {
    m_frame.reserve(256);
}

const site::site_publisher::position& position_stream::next() {
    const std::int64_t seq = m_seq++;
    if (is_probe(seq) || m_tags.empty())
        move_probe(seq);
    else
        move_tag();
    m_position.ts = libs::core::timestamp(std::chrono::milliseconds(base_ms + seq));
    render(m_position, m_frame);
    return m_position;
}

std::int64_t position_stream::seq_of(std::int64_t ms) const {
    const std::int64_t seq = ms - base_ms;
    return seq >= 0 && seq < m_seq ? seq : -1;
}

void position_stream::move_probe(std::int64_t seq) {
    const bool inside = (seq / m_probe_every) % 2 == 0;
    m_position.trackable_object_uid = m_probe.uid;
    m_position.sublocation_uid = m_probe.sublocation_uid;
    m_position.mac_address = m_probe.mac_address;
    m_position.x = inside ? site_lists::probe_inside_x : site_lists::probe_outside_x;
    m_position.y = site_lists::probe_y;
    m_position.z = 0;
}

void position_stream::move_tag() {
    site_lists::tag& t = m_tags[m_pick(m_random)];
    t.x = std::clamp(t.x + m_walk(m_random), 0, m_extent - 1);
    t.y = std::clamp(t.y + m_walk(m_random), 0, m_extent - 1);
    m_position.trackable_object_uid = t.uid;
    m_position.sublocation_uid = t.sublocation_uid;
    m_position.mac_address = t.mac_address;
    m_position.x = t.x;
    m_position.y = t.y;
    m_position.z = 0;
}

// Members in key order, as the JSON writer orders them; the texts of the
// site need no escaping (uids, MAC addresses).
void position_stream::render(const site::site_publisher::position& p, std::string& out) {
    out.clear();
    out += "$pos{\"data\":{\"mac\":\"";
    out += p.mac_address;
    out += "\",\"sl_uid\":\"";
    out += p.sublocation_uid;
    out += "\",\"type\":\"uwb\",\"x\":";
    append_int(p.x, out);
    out += ",\"y\":";
    append_int(p.y, out);
    out += ",\"z\":";
    append_int(p.z, out);
    out += "},\"fom\":1,\"tk_uid\":\"";
    out += p.trackable_object_uid;
    out += "\",\"ts\":\"";
    append_iso(p.ts.get_time_since_epoch().count(), out);
    out += "\"}";
}

}  // namespace kel::bench
