#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kel::libs::core {

// Decides which of a flood of identical log lines are written. The first
// line of a text is always written; the same text again within `interval`
// of it is only counted. Once the interval is over, the count comes out as
// one line, "<text> (repeated <n> more times in <s> s)", and the next
// occurrence is written again as a first one. So a text repeated without
// end costs about two lines per interval.
//
// Counts come out when a later line passes through the filter after their
// interval, or through take_all(). At most `max_texts` texts are followed;
// beyond that every count is given out and following starts anew. Not
// thread-safe: the logger serialises its calls.
class repeat_filter {
public:
    using clock = std::chrono::steady_clock;
    struct count_line {
        int level;
        std::string source;
        std::string text;
    };

    explicit repeat_filter(clock::duration interval);

    // Whether the line `text` of `source` is written now; appends to `due`
    // the count lines whose interval is over.
    bool admit(int level, const std::string& source, const std::string& text, clock::time_point now,
               std::vector<count_line>& due);
    std::vector<count_line> take_all();
    void set_interval(clock::duration interval) { m_interval = interval; }

private:
    struct entry {
        int level;
        std::string source;
        std::string text;
        clock::time_point since;
        std::uint64_t repeated = 0;
    };
    static constexpr std::size_t max_texts = 1000;

    void give_out(const entry& e, std::vector<count_line>& due) const;

    clock::duration m_interval;
    clock::time_point m_next_sweep{};
    std::unordered_map<std::string, entry> m_entries;
};

}  // namespace kel::libs::core
