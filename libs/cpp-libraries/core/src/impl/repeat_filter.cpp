#include "repeat_filter.h"

#include <sstream>

namespace kel::libs::core {

repeat_filter::repeat_filter(clock::duration interval) : m_interval(interval) {}

bool repeat_filter::admit(int level, const std::string& source, const std::string& text, clock::time_point now,
                          std::vector<count_line>& due) {
    // Expired texts are swept at most once per interval, so a busy log does
    // not walk the map at every line.
    if (now >= m_next_sweep) {
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            if (now - it->second.since < m_interval) {
                ++it;
                continue;
            }
            give_out(it->second, due);
            it = m_entries.erase(it);
        }
        m_next_sweep = now + m_interval;
    }
    std::string key = std::to_string(level) + " " + source + text;
    const auto found = m_entries.find(key);
    if (found != m_entries.end()) {
        if (now - found->second.since < m_interval) {
            ++found->second.repeated;
            return false;
        }
        give_out(found->second, due);
        m_entries.erase(found);
    }
    if (m_entries.size() >= max_texts) {
        for (const auto& e : m_entries)
            give_out(e.second, due);
        m_entries.clear();
    }
    m_entries.emplace(std::move(key), entry{level, source, text, now, 0});
    return true;
}

std::vector<repeat_filter::count_line> repeat_filter::take_all() {
    std::vector<count_line> due;
    for (const auto& e : m_entries)
        give_out(e.second, due);
    m_entries.clear();
    return due;
}

void repeat_filter::give_out(const entry& e, std::vector<count_line>& due) const {
    if (e.repeated == 0)
        return;
    std::ostringstream text;
    text << e.text << " (repeated " << e.repeated << " more times in "
         << std::chrono::duration<double>(m_interval).count() << " s)";
    due.push_back({e.level, e.source, text.str()});
}

}  // namespace kel::libs::core
