#pragma once

#include "core/async_operation_handle.h"
#include "core/events_loop.h"

#include <atomic>
#include <memory>
#include <utility>

namespace kel::libs::core {

// The handle of an operation started by a function. The start function gets
// the handle only weakly: an operation in flight must not keep alive a handle
// its owner dropped. It reports with return_result(), from any thread, and
// the callback then runs on the events loop, which must outlive the handle.
template <typename T>
class async_operation_handle_impl final : public async_operation_handle<T>,
                                          public std::enable_shared_from_this<async_operation_handle_impl<T>> {
public:
    using ptr = std::shared_ptr<async_operation_handle_impl>;
    using start_function = std::function<void(std::weak_ptr<async_operation_handle_impl>)>;

    // Creates the handle without starting it: call start() once the handle
    // has an owner and, usually, a callback.
    static ptr create(events_loop& loop, start_function start) {
        return ptr(new async_operation_handle_impl(loop, std::move(start)));
    }

    void start() {
        m_completed = false;
        m_start_function(this->weak_from_this());
    }

    // Thread-safe. Marks the operation complete and queues the callback on
    // the events loop; the callback runs only if the handle is still owned.
    void return_result(T&& result) {
        m_completed = true;
        m_events_loop.post(
            [weak = this->weak_from_this(), result = std::move(result)]() mutable {
                const auto self = weak.lock();
                if (self && self->m_callback)
                    self->m_callback(std::move(result));
            },
            KEL_SOURCE_LOCATION());
    }

    bool is_complete() const override { return m_completed; }
    void restart() override { start(); }

private:
    async_operation_handle_impl(events_loop& loop, start_function start)
        : m_events_loop(loop), m_start_function(std::move(start)) {}

    events_loop& m_events_loop;
    std::atomic_bool m_completed{false};
    start_function m_start_function;
};

}  // namespace kel::libs::core
