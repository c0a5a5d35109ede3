#include "core/timestamp.h"

#include "core/exception.h"

#include <array>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

namespace kel::libs::core {

namespace {

// The widest count of seconds whose milliseconds, with any 32-bit number of
// milliseconds added, still fit the signed 64-bit count of a timestamp.
constexpr std::int64_t max_seconds =
    (std::numeric_limits<std::int64_t>::max() - std::numeric_limits<std::uint32_t>::max()) / 1000;

// Dates of the years 1970 to 9999 are computed in closed form below, for
// half of what timegm, or gmtime_r and strftime, cost with their calls
// around them; a position's and an event's times are all in that range. Any other date takes the C library's
// path, whose results these agree with wherever both apply.
constexpr std::int64_t seconds_per_day = 86400;
constexpr std::int64_t first_fast_year = 1970;
constexpr std::int64_t last_fast_year = 9999;
// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar,
// for a year from `first_fast_year`: eras of 400 years counted from March,
// so that the leap day ends its year.
constexpr std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = year / 400;
    const auto year_of_era = static_cast<unsigned>(year - era * 400);
    const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

constexpr std::int64_t end_of_fast_years = days_from_civil(last_fast_year + 1, 1, 1) * seconds_per_day;

struct civil_date {
    std::int64_t year;
    unsigned month, day;
};

// The inverse of days_from_civil, for days from 0.
civil_date civil_from_days(std::int64_t days) {
    days += 719468;
    const std::int64_t era = days / 146097;
    const auto day_of_era = static_cast<unsigned>(days - era * 146097);
    const unsigned year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const unsigned shifted_month = (5 * day_of_year + 2) / 153;
    const unsigned day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
    const unsigned month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
    const std::int64_t year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

// Writes `value` as `width` digits, zero-padded, at `at`; returns the end.
char* put_digits(char* at, unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10)
        at[i] = static_cast<char>('0' + value % 10);
    return at + width;
}

}  // namespace

timestamp::timestamp(std::time_t seconds, unsigned int ms)
    : m_time_point(std::chrono::milliseconds(static_cast<std::int64_t>(seconds) * 1000 + ms)) {}

timestamp::timestamp(std::chrono::milliseconds since_epoch) : m_time_point(since_epoch) {}

timestamp::timestamp(const boost::string_view& text) {
    auto parsed = try_parse(text);
    if (!parsed)
        throw exception("timestamp: \"" + std::string(text) + "\" is invalid!", KEL_SOURCE_LOCATION());
    *this = *parsed;
}

namespace {

struct date_time_fields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    float seconds = 0;
};

// Reads a run of one to nine digits at `at`: a value no int overflows on.
bool read_digits(const char*& at, const char* end, int& value) {
    const char* start = at;
    value = 0;
    while (at != end && *at >= '0' && *at <= '9' && at - start < 9)
        value = value * 10 + (*at++ - '0');
    return at != start && (at == end || *at < '0' || *at > '9');
}

// The common shape, plain digits as every positioning engine writes them,
// read without sscanf (a tenth of a position's cost). Anything it is not
// sure to read exactly as sscanf's "%d-%d-%d%c%d:%d:%f" would (signs,
// blanks, long digit runs, exponents, hex floats, texts sscanf would see
// cut) is left to sscanf, so the accepted texts and values are the same.
bool read_plain(boost::string_view text, date_time_fields& f) {
    if (text.size() > 63)
        return false;
    const char* at = text.data();
    const char* end = at + text.size();
    const auto literal = [&](char c) { return at != end && *at++ == c; };
    if (!read_digits(at, end, f.year) || !literal('-') || !read_digits(at, end, f.month) || !literal('-') ||
        !read_digits(at, end, f.day) || at == end || *at == '\0')
        return false;
    ++at;  // the delimiter, whatever it is
    if (!read_digits(at, end, f.hour) || !literal(':') || !read_digits(at, end, f.minute) || !literal(':'))
        return false;
    const char* number = at;
    while (at != end && *at >= '0' && *at <= '9')
        ++at;
    if (at == number)
        return false;
    if (at != end && *at == '.')
        for (++at; at != end && *at >= '0' && *at <= '9';)
            ++at;
    if (at != end && std::strchr("eEpPxX", *at) != nullptr && *at != '\0')
        return false;
    const auto parsed = std::from_chars(number, at, f.seconds);
    return parsed.ec == std::errc() && parsed.ptr == at;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the byte masks below take byte i at bits 8i");

std::uint64_t load_word(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// Non-zero when a byte of `word` under `mask` is no ASCII digit. A digit has
// the high nibble 3, and still has it after adding 6. The sum may carry
// into the next byte, but only out of a byte of 0xfa or more (no digit,
// and flagged by the first test): a carry can make a digit look wrong,
// never a non-digit look right, so the caller at worst takes the slower
// path.
std::uint64_t non_digits(std::uint64_t word, std::uint64_t mask) {
    constexpr std::uint64_t high = 0xf0f0f0f0f0f0f0f0;
    constexpr std::uint64_t threes = 0x3030303030303030;
    const std::uint64_t wrong_high = (word & high) ^ threes;
    const std::uint64_t above_nine = ((word + 0x0606060606060606) & high) ^ threes;
    return (wrong_high | above_nine) & mask;
}

// The shape every positioning engine writes, "YYYY-MM-DDTHH:MM:SS" with
// none to three digits of fraction: each field at its place, read without
// a loop over the text or a call for the seconds (together they were half
// of a position's parse). Any other text, and any text longer than
// read_plain takes, is left to read_plain.
//
// The seconds come out exactly as from_chars reads them: the digits make an
// integer below 2^24 and the scale a power of ten up to 1000, both exact in
// a float, and a float division rounds correctly, as from_chars does. (No
// tie can arise: a decimal halfway between two floats would need more bits
// than these have.)
bool read_fixed(boost::string_view text, date_time_fields& f) {
    const char* const t = text.data();
    const std::size_t size = text.size();
    if (size < 19 || size > 63 || t[4] != '-' || t[7] != '-' || t[13] != ':' || t[16] != ':' || t[10] == '\0')
        return false;
    const auto digit = [t](std::size_t i) { return static_cast<unsigned>(t[i] - '0') <= 9; };
    // The fourteen places of digits, eight bytes at a time: bytes 0-7, 8-15
    // and 11-18, each under the mask of its digit places.
    if (non_digits(load_word(t), 0x00ffff00ffffffff) != 0 || non_digits(load_word(t + 8), 0xffff00ffff00ffff) != 0 ||
        non_digits(load_word(t + 11), 0xffff000000000000) != 0)
        return false;
    // The delimiter must not be a digit: the day's digits would run on.
    if (digit(10))
        return false;
    const auto two = [t](std::size_t i) { return (t[i] - '0') * 10 + (t[i + 1] - '0'); };
    std::size_t at = 19;
    int scaled = two(17);
    int scale = 1;
    if (at < size && t[at] == '.') {
        ++at;
        for (; at < size && at < 23 && digit(at); ++at) {
            scaled = scaled * 10 + (t[at] - '0');
            scale *= 10;
        }
        // "SS." and longer fractions are read_plain's.
        if (scale == 1)
            return false;
    }
    // Whatever follows must end the number, as read_plain requires.
    if (at < size && (digit(at) || t[at] == '.' || (t[at] != '\0' && std::strchr("eEpPxX", t[at]) != nullptr)))
        return false;
    f.year = two(0) * 100 + two(2);
    f.month = two(5);
    f.day = two(8);
    f.hour = two(11);
    f.minute = two(14);
    f.seconds = static_cast<float>(scaled) / static_cast<float>(scale);
    return true;
}

bool read_scanned(boost::string_view text, date_time_fields& f) {
    // sscanf needs a terminated string; the view may not be one. Longer texts
    // than this are never valid date-times, but the fields we read fit.
    std::array<char, 64> buffer{};
    const auto length = std::min(text.size(), buffer.size() - 1);
    text.copy(buffer.data(), length);
    char delimiter = 0;
    return std::sscanf(buffer.data(), "%d-%d-%d%c%d:%d:%f", &f.year, &f.month, &f.day, &delimiter, &f.hour,
                       &f.minute, &f.seconds) == 7;
}

}  // namespace

boost::optional<timestamp> timestamp::try_parse(const boost::string_view& text) {
    return parse(text, true);
}

boost::optional<timestamp> timestamp::try_parse_general(const boost::string_view& text) {
    return parse(text, false);
}

boost::optional<timestamp> timestamp::parse(const boost::string_view& text, bool plain_first) {
    date_time_fields fields;
    if (!(plain_first && (read_fixed(text, fields) || read_plain(text, fields))) && !read_scanned(text, fields))
        return boost::none;
    const int year = fields.year, month = fields.month, day = fields.day, hour = fields.hour,
              minute = fields.minute;
    const float seconds = fields.seconds;
    // Text from outside may hold any numbers: fields that the broken-down
    // time cannot take, or a time whose milliseconds overflow the count, are
    // refused rather than computed with overflows. Every date the system
    // deals in is far inside these bounds.
    if (!std::isfinite(seconds) || std::fabs(seconds) >= 2147483648.0f)
        return boost::none;
    if (year < std::numeric_limits<int>::min() + 1900 || month == std::numeric_limits<int>::min())
        return boost::none;
    const int whole_seconds = static_cast<int>(seconds);
    const float fraction = (seconds - static_cast<float>(whole_seconds)) * 1000.0f;
    // Taken as an unsigned 32-bit count, as it always was: the fraction of
    // a negative seconds field wraps.
    const auto ms = static_cast<std::uint32_t>(std::lround(fraction));

    // Every field within its usual range (a leap second included): the
    // closed form gives what timegm does, whose normalization is linear in
    // the day and the time of day.
    if (year >= first_fast_year && year <= last_fast_year && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
        hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && seconds >= 0.0f && seconds < 61.0f) {
        const std::int64_t epoch_seconds =
            days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * seconds_per_day +
            hour * 3600 + minute * 60 + whole_seconds;
        return timestamp(static_cast<std::time_t>(epoch_seconds), ms);
    }

    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = whole_seconds;
    tm.tm_isdst = -1;
    errno = 0;
    const std::time_t epoch_seconds = timegm(&tm);
    if ((epoch_seconds == static_cast<std::time_t>(-1) && errno == EOVERFLOW) || epoch_seconds > max_seconds ||
        epoch_seconds < -max_seconds)
        return boost::none;
    return timestamp(epoch_seconds, ms);
}

timestamp timestamp::current_time() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return timestamp(ts.tv_sec, static_cast<unsigned int>(ts.tv_nsec / 1000000));
}

std::string timestamp::to_iso_8601(bool with_milliseconds, char delimiter, bool with_z) const {
    std::string text;
    append_iso_8601(text, with_milliseconds, delimiter, with_z);
    return text;
}

void timestamp::append_iso_8601(std::string& out, bool with_milliseconds, char delimiter, bool with_z) const {
    const std::time_t seconds = get_ts();
    if (count() >= 0 && seconds < end_of_fast_years) {
        // Composed in place and appended once: a carrier's every move
        // writes two of these, and a string append per field cost more
        // than the calendar.
        const auto date = civil_from_days(seconds / seconds_per_day);
        const auto time_of_day = static_cast<unsigned>(seconds % seconds_per_day);
        char text[sizeof "YYYY-MM-DDTHH:MM:SS.mmmZ"];
        char* at = put_digits(text, static_cast<unsigned>(date.year), 4);
        *at++ = '-';
        at = put_digits(at, date.month, 2);
        *at++ = '-';
        at = put_digits(at, date.day, 2);
        *at++ = delimiter;
        at = put_digits(at, time_of_day / 3600, 2);
        *at++ = ':';
        at = put_digits(at, time_of_day / 60 % 60, 2);
        *at++ = ':';
        at = put_digits(at, time_of_day % 60, 2);
        if (with_milliseconds) {
            *at++ = '.';
            at = put_digits(at, get_ms(), 3);
        }
        if (with_z)
            *at++ = 'Z';
        out.append(text, static_cast<std::size_t>(at - text));
        return;
    }
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    // Room for any year a count of milliseconds can reach; strftime leaves
    // the buffer undefined when the text does not fit, so that case gives
    // an empty date rather than whatever the buffer held.
    std::array<char, 64> buffer{};
    const auto start = out.size();
    if (std::strftime(buffer.data(), buffer.size(), "%Y-%m-%d %H:%M:%S", &tm) != 0)
        out.append(buffer.data());
    // The blank between date and time: at index 10 for four-digit years,
    // further for longer ones.
    const auto blank = out.find(' ', start);
    if (blank != std::string::npos)
        out[blank] = delimiter;
    if (with_milliseconds) {
        std::array<char, 8> ms{};
        std::snprintf(ms.data(), ms.size(), ".%03u", get_ms());
        out.append(ms.data());
    }
    if (with_z)
        out.push_back('Z');
}

std::string timestamp::serialize() const {
    std::string text;
    serialize_into(text);
    return text;
}

void timestamp::serialize_into(std::string& out) const {
    // "<seconds> <ms> [": at most 20 + 1 + 10 + 2 characters (before 1970
    // the milliseconds wrap as an unsigned count, as they always did).
    char head[40];
    char* at = std::to_chars(head, head + 20, get_ts()).ptr;
    *at++ = ' ';
    at = std::to_chars(at, at + 10, get_ms()).ptr;
    *at++ = ' ';
    *at++ = '[';
    out.assign(head, static_cast<std::size_t>(at - head));
    append_iso_8601(out, true, 'T', true);
    out.push_back(']');
}

}  // namespace kel::libs::core
