#include "value_impl.h"

namespace kel::libs::config {

boost::optional<bool> value_impl::as_bool() const {
    auto json = scalar();
    if (!json || !json->isBool())
        return boost::none;
    return json->asBool();
}

boost::optional<int> value_impl::as_int() const {
    auto json = scalar();
    // isInt() is the integral test restricted to the signed 32-bit range, so
    // 5.0 reads as 5 while 1e10 is not an int (asInt() would throw on it).
    if (!json || !json->isInt())
        return boost::none;
    return json->asInt();
}

boost::optional<double> value_impl::as_double() const {
    auto json = scalar();
    if (!json || !json->isDouble())
        return boost::none;
    return json->asDouble();
}

boost::optional<std::string> value_impl::as_string() const {
    auto json = scalar();
    if (!json || !json->isString())
        return boost::none;
    return json->asString();
}

boost::optional<const dictionary&> value_impl::as_object() const {
    if (auto object = std::get_if<std::reference_wrapper<const dictionary>>(&m_value))
        return object->get();
    return boost::none;
}

boost::optional<value::array> value_impl::as_array() const {
    if (auto items = std::get_if<array>(&m_value))
        return *items;
    return boost::none;
}

}  // namespace kel::libs::config
