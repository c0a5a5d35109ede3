#pragma once

#include <memory>
#include <utility>

namespace kel::libs::core {
namespace detail {

class scope_guard {
public:
    virtual ~scope_guard() = default;
};

template <typename F>
class scope_guard_impl final : public scope_guard {
public:
    explicit scope_guard_impl(F callback) : m_callback(std::move(callback)) {}
    // Runs in a destructor: a callback that throws ends the process.
    ~scope_guard_impl() override {
        if (m_should_execute)
            m_callback();
    }

private:
    bool m_should_execute = true;
    F m_callback;
};

}  // namespace detail

// Calls `callback` exactly once, when the returned guard is destroyed.
template <typename F>
std::unique_ptr<detail::scope_guard> execute_on_scope_exit(F callback) {
    return std::make_unique<detail::scope_guard_impl<F>>(std::move(callback));
}

}  // namespace kel::libs::core
