#pragma once

#include <boost/optional.hpp>
#include <boost/range/any_range.hpp>

#include <string>

namespace kel::libs::config {

class dictionary;

// One node of the tree. Each conversion is empty when the node is of another
// kind; a JSON null converts to nothing.
class value {
public:
    using array = boost::any_range<const value, boost::bidirectional_traversal_tag>;

    virtual ~value() = default;

    virtual boost::optional<bool> as_bool() const = 0;
    // Present for an integral number that fits a signed 32-bit integer.
    virtual boost::optional<int> as_int() const = 0;
    virtual boost::optional<double> as_double() const = 0;
    virtual boost::optional<std::string> as_string() const = 0;
    virtual boost::optional<const dictionary&> as_object() const = 0;
    virtual boost::optional<array> as_array() const = 0;
};

// The conversion to T and the name of T in error reasons.
template <typename T>
struct value_traits;

template <>
struct value_traits<bool> {
    static constexpr const char* name = "bool";
    static boost::optional<bool> convert(const value& v) { return v.as_bool(); }
};

template <>
struct value_traits<int> {
    static constexpr const char* name = "int";
    static boost::optional<int> convert(const value& v) { return v.as_int(); }
};

template <>
struct value_traits<double> {
    static constexpr const char* name = "double";
    static boost::optional<double> convert(const value& v) { return v.as_double(); }
};

template <>
struct value_traits<std::string> {
    static constexpr const char* name = "string";
    static boost::optional<std::string> convert(const value& v) { return v.as_string(); }
};

template <>
struct value_traits<value::array> {
    static constexpr const char* name = "array";
    static boost::optional<value::array> convert(const value& v) { return v.as_array(); }
};

}  // namespace kel::libs::config
