#pragma once

#include "config_parser/value.h"

#include <json/json.h>

#include <functional>
#include <variant>

namespace kel::libs::config {

// A scalar copied from the document, or a reference to a dictionary or array
// owned by the config object.
class value_impl final : public value {
public:
    using variant = std::variant<Json::Value, std::reference_wrapper<const dictionary>, array>;

    explicit value_impl(const Json::Value& scalar) : m_value(std::in_place_type<Json::Value>, scalar) {}
    explicit value_impl(const dictionary& object) : m_value(std::in_place_type<std::reference_wrapper<const dictionary>>, object) {}
    explicit value_impl(array items) : m_value(std::in_place_type<array>, std::move(items)) {}

    boost::optional<bool> as_bool() const override;
    boost::optional<int> as_int() const override;
    boost::optional<double> as_double() const override;
    boost::optional<std::string> as_string() const override;
    boost::optional<const dictionary&> as_object() const override;
    boost::optional<array> as_array() const override;

private:
    const Json::Value* scalar() const { return std::get_if<Json::Value>(&m_value); }

    variant m_value;
};

}  // namespace kel::libs::config
