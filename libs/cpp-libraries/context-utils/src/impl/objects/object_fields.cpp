#include "objects/object_fields.h"

#include "parser_utils.h"

#include <core/exception.h>

namespace kel::libs::context_utils::objects::object_fields {

namespace {

[[noreturn]] void throw_not(const char* key, const char* kind) {
    KEL_THROW(std::string("\"") + key + "\" is not " + kind + "!");
}

// The member, or none when it is absent or null.
const Json::Value* present(const Json::Value& object, const char* key) {
    const Json::Value& value = parser_utils::member(object, key);
    return value.isNull() ? nullptr : &value;
}

}  // namespace

std::string read_string(const Json::Value& object, const char* key) {
    if (auto value = read_optional_string(object, key))
        return std::move(*value);
    throw_not(key, "a string");
}

boost::optional<std::string> read_optional_string(const Json::Value& object, const char* key) {
    const Json::Value* value = present(object, key);
    if (value == nullptr)
        return boost::none;
    if (!value->isString())
        throw_not(key, "a string");
    return value->asString();
}

bool read_bool(const Json::Value& object, const char* key) {
    const Json::Value& value = parser_utils::member(object, key);
    if (!value.isBool())
        throw_not(key, "a bool");
    return value.asBool();
}

int read_number(const Json::Value& object, const char* key) {
    if (const auto value = read_optional_number(object, key))
        return *value;
    throw_not(key, "a number");
}

boost::optional<int> read_optional_number(const Json::Value& object, const char* key) {
    const Json::Value* value = present(object, key);
    if (value == nullptr)
        return boost::none;
    if (!parser_utils::fits_int(*value))
        throw_not(key, "a number");
    return parser_utils::to_int(*value);
}

const Json::Value* read_optional_object(const Json::Value& object, const char* key) {
    const Json::Value* value = present(object, key);
    if (value != nullptr && !value->isObject())
        throw_not(key, "an object");
    return value;
}

std::vector<std::string> read_strings(const Json::Value& object, const char* key) {
    if (auto strings = read_optional_strings(object, key))
        return std::move(*strings);
    throw_not(key, "an array");
}

boost::optional<std::vector<std::string>> read_optional_strings(const Json::Value& object, const char* key) {
    const Json::Value* value = present(object, key);
    if (value == nullptr)
        return boost::none;
    if (!value->isArray())
        throw_not(key, "an array");
    std::vector<std::string> strings;
    for (const auto& element : *value) {
        if (!element.isString())
            throw_not(key, "an array of strings");
        strings.push_back(element.asString());
    }
    return strings;
}

core::timestamp read_time(const Json::Value& object, const char* key) {
    const std::string text = read_string(object, key);
    if (const auto time = core::timestamp::try_parse(text))
        return *time;
    KEL_THROW(std::string("failed to parse timestamp: \"") + key + "\"");
}

}  // namespace kel::libs::context_utils::objects::object_fields
