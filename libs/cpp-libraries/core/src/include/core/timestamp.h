#pragma once

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

namespace kel::libs::core {

// A UTC time point in milliseconds since the Unix epoch. Every text form and
// every parse works in UTC; no local time zone is ever applied.
class timestamp {
public:
    using time_point = std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

    timestamp() = default;
    // `ms` is not range-checked: 1000 or more carries into the seconds.
    timestamp(std::time_t seconds, unsigned int ms);
    explicit timestamp(std::chrono::milliseconds since_epoch);
    // Parses like try_parse; throws kel::libs::core::exception on bad text.
    explicit timestamp(const boost::string_view& text);
    timestamp(int) = delete;

    // Lenient parse of "Y-M-D?h:m:s[.fraction]"; anything after the seconds
    // (a "Z", an offset) is ignored and the time is read as UTC.
    static boost::optional<timestamp> try_parse(const boost::string_view& text);
    // try_parse without its fast path for plain digits: the reference that
    // try_parse must agree with on every text.
    static boost::optional<timestamp> try_parse_general(const boost::string_view& text);
    static timestamp current_time();

    // Debug form: "<seconds> <ms> [<ISO time with ms and Z>]".
    std::string serialize() const;
    // serialize()'s text in place of what `out` held; allocates nothing
    // once `out` has room for it.
    void serialize_into(std::string& out) const;
    std::string to_iso_8601(bool with_milliseconds, char delimiter, bool with_z) const;

    std::time_t get_ts() const { return static_cast<std::time_t>(count() / 1000); }
    unsigned int get_ms() const { return static_cast<unsigned int>(count() % 1000); }
    std::chrono::milliseconds get_time_since_epoch() const { return m_time_point.time_since_epoch(); }

    std::chrono::milliseconds operator-(const timestamp& other) const { return m_time_point - other.m_time_point; }
    timestamp& operator+=(std::chrono::milliseconds d) { m_time_point += d; return *this; }
    timestamp& operator-=(std::chrono::milliseconds d) { m_time_point -= d; return *this; }
    timestamp operator+(std::chrono::milliseconds d) const { timestamp t = *this; return t += d; }
    timestamp operator-(std::chrono::milliseconds d) const { timestamp t = *this; return t -= d; }

    bool operator==(const timestamp& o) const { return m_time_point == o.m_time_point; }
    bool operator!=(const timestamp& o) const { return m_time_point != o.m_time_point; }
    bool operator<(const timestamp& o) const { return m_time_point < o.m_time_point; }
    bool operator>(const timestamp& o) const { return m_time_point > o.m_time_point; }
    bool operator<=(const timestamp& o) const { return m_time_point <= o.m_time_point; }
    bool operator>=(const timestamp& o) const { return m_time_point >= o.m_time_point; }

private:
    static boost::optional<timestamp> parse(const boost::string_view& text, bool plain_first);
    std::int64_t count() const { return m_time_point.time_since_epoch().count(); }
    void append_iso_8601(std::string& out, bool with_milliseconds, char delimiter, bool with_z) const;

    time_point m_time_point{};
};

}  // namespace kel::libs::core
