#include "globals.h"

#include <boost/functional/hash.hpp>

#include <cstring>

namespace kel {
namespace {

// Characters of a uid that carry 128 bits: 22 * 6 = 132.
constexpr std::size_t uid_text_length = 22;
static_assert(uid_text_length * 6 / 8 == sizeof(uid), "the decoded text must fill a uid exactly");
constexpr int invalid_character = -1;

// Value of a character in the union of the two base64 alphabets, where '+'
// and '-' both mean 62 and '/' and '_' both mean 63.
int base64_value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+' || c == '-')
        return 62;
    if (c == '/' || c == '_')
        return 63;
    return invalid_character;
}

}  // namespace

uid parse_uid(boost::string_view text) {
    std::array<unsigned char, sizeof(uid)> bytes{};
    std::size_t produced = 0;
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (char c : text.substr(0, uid_text_length)) {
        const int value = base64_value(c);
        if (value == invalid_character)
            break;
        // Only the pending bits (fewer than 8) matter, so the accumulator
        // may drop its high bits without changing the output.
        accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes[produced++] = static_cast<unsigned char>(accumulator >> bits);
        }
    }
    uid result;
    std::memcpy(result.data(), bytes.data(), bytes.size());
    return result;
}

bool is_uid_text(boost::string_view text) {
    if (text.size() != uid_text_length)
        return false;
    for (char c : text) {
        if (base64_value(c) == invalid_character)
            return false;
    }
    return true;
}

std::size_t uid_hash::operator()(const uid& value) const {
    return boost::hash_range(value.begin(), value.end());
}

namespace context {

std::size_t trackable_object_in_zone_uid_hash::operator()(const trackable_object_in_zone_uid& value) const {
    return boost::hash_range(value.begin(), value.end());
}

}  // namespace context
}  // namespace kel
