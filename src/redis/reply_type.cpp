#include "redis/reply_type.h"

namespace kel::redis {

const std::map<reply_type, std::string> reply_types_strings{
    {reply_type::STRING, "string"}, {reply_type::ARRAY, "array"}, {reply_type::INTEGER, "integer"},
    {reply_type::NIL, "nil"},       {reply_type::STATUS, "status"}, {reply_type::ERROR, "error"},
    {reply_type::UNKNOWN, "unknown"},
};

std::string to_string(reply_type type) {
    const auto name = reply_types_strings.find(type);
    if (name != reply_types_strings.end())
        return name->second;
    return "type " + std::to_string(static_cast<std::int32_t>(type));
}

}  // namespace kel::redis
