#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace kel::redis {

// The type of a Redis reply; the values are hiredis's reply type numbers.
enum class reply_type : std::int32_t {
    STRING = 1,
    ARRAY = 2,
    INTEGER = 3,
    NIL = 4,
    STATUS = 5,
    ERROR = 6,
    UNKNOWN = 7,
};

// Names of the known reply types, for error messages.
extern const std::map<reply_type, std::string> reply_types_strings;

// The name of `type`; a type number hiredis may add later, which has no
// name, is shown as "type <number>".
std::string to_string(reply_type type);

}  // namespace kel::redis
