#pragma once

#include <boost/none.hpp>
#include <boost/optional.hpp>
#include <boost/optional/bad_optional_access.hpp>

#include <string>
#include <tuple>
#include <utility>
#include <variant>

namespace kel::libs::config {

// Why a lookup failed, in words meant for the person who wrote the file.
struct error_reason {
    std::string reason;
};

// The outcome of a lookup: a value or the reason there is none. Results chain
// with operator+ so that one check reports every failure at once.
template <typename T>
class result {
public:
    result(T value) : m_value(std::in_place_index<0>, std::move(value)) {}
    result(error_reason reason) : m_value(std::in_place_index<1>, std::move(reason)) {}

    bool ok() const { return m_value.index() == 0; }

    boost::optional<T> try_get() const {
        if (!ok())
            return boost::none;
        return std::get<0>(m_value);
    }

    // Throws boost::bad_optional_access on an error result.
    const T& value() const& {
        throw_if_error();
        return std::get<0>(m_value);
    }
    T value() && {
        throw_if_error();
        return std::get<0>(std::move(m_value));
    }

    // Empty on an ok result.
    std::string reason() const { return ok() ? std::string() : std::get<1>(m_value).reason; }

private:
    void throw_if_error() const {
        if (!ok())
            throw boost::bad_optional_access();
    }

    std::variant<T, error_reason> m_value;
};

namespace detail {

template <typename R, typename A, typename B, typename Join>
result<R> combine(const result<A>& a, const result<B>& b, Join join) {
    if (a.ok() && b.ok())
        return join(a.value(), b.value());
    if (!a.ok() && !b.ok())
        return error_reason{a.reason() + "\n" + b.reason()};
    return error_reason{a.ok() ? b.reason() : a.reason()};
}

}  // namespace detail

template <typename A, typename B>
result<std::tuple<A, B>> operator+(const result<A>& a, const result<B>& b) {
    return detail::combine<std::tuple<A, B>>(a, b, [](const A& x, const B& y) { return std::tuple<A, B>(x, y); });
}

// A chain keeps growing one flat tuple: (a + b) + c holds three elements.
template <typename... As, typename B>
result<std::tuple<As..., B>> operator+(const result<std::tuple<As...>>& a, const result<B>& b) {
    return detail::combine<std::tuple<As..., B>>(
        a, b, [](const std::tuple<As...>& x, const B& y) { return std::tuple_cat(x, std::tuple<B>(y)); });
}

}  // namespace kel::libs::config
