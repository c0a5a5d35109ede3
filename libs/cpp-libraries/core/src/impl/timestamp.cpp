#include "core/timestamp.h"

#include "core/exception.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace kel::libs::core {

timestamp::timestamp(std::time_t seconds, unsigned int ms)
    : m_time_point(std::chrono::milliseconds(static_cast<std::int64_t>(seconds) * 1000 + ms)) {}

timestamp::timestamp(std::chrono::milliseconds since_epoch) : m_time_point(since_epoch) {}

timestamp::timestamp(const boost::string_view& text) {
    auto parsed = try_parse(text);
    if (!parsed)
        throw exception("timestamp: \"" + std::string(text) + "\" is invalid!", KEL_SOURCE_LOCATION());
    *this = *parsed;
}

boost::optional<timestamp> timestamp::try_parse(const boost::string_view& text) {
    // sscanf needs a terminated string; the view may not be one. Longer texts
    // than this are never valid date-times, but the fields we read fit.
    std::array<char, 64> buffer{};
    const auto length = std::min(text.size(), buffer.size() - 1);
    text.copy(buffer.data(), length);

    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    char delimiter = 0;
    float seconds = 0;
    if (std::sscanf(buffer.data(), "%d-%d-%d%c%d:%d:%f", &year, &month, &day, &delimiter, &hour, &minute,
                    &seconds) != 7)
        return boost::none;
    if (!std::isfinite(seconds))
        return boost::none;

    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = static_cast<int>(seconds);
    tm.tm_isdst = -1;
    const float fraction = (seconds - static_cast<float>(tm.tm_sec)) * 1000.0f;
    const auto ms = static_cast<unsigned int>(std::lround(fraction));
    const std::time_t epoch_seconds = timegm(&tm);
    return timestamp(epoch_seconds, ms);
}

timestamp timestamp::current_time() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return timestamp(ts.tv_sec, static_cast<unsigned int>(ts.tv_nsec / 1000000));
}

std::string timestamp::to_iso_8601(bool with_milliseconds, char delimiter, bool with_z) const {
    const std::time_t seconds = get_ts();
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    std::array<char, 25> buffer{};
    std::strftime(buffer.data(), buffer.size(), "%Y-%m-%d %H:%M:%S", &tm);
    std::string text(buffer.data());
    if (text.size() > 10)
        text[10] = delimiter;
    if (with_milliseconds) {
        std::array<char, 8> ms{};
        std::snprintf(ms.data(), ms.size(), ".%03u", get_ms());
        text += ms.data();
    }
    if (with_z)
        text += 'Z';
    return text;
}

std::string timestamp::serialize() const {
    return std::to_string(get_ts()) + " " + std::to_string(get_ms()) + " [" + to_iso_8601(true, 'T', true) + "]";
}

}  // namespace kel::libs::core
