#pragma once

#include <functional>
#include <memory>

namespace kel::libs::core {

// Shared handle of an asynchronous operation whose result of type T is
// handed to the callback on the events loop thread, never inside the call
// that started it. Whoever wants the result keeps the handle: once the last
// owner drops it, a result still on its way is discarded and the callback is
// not called. The callback may be set or replaced until the result arrives;
// set it and read it on the loop thread.
template <typename T>
class async_operation_handle {
public:
    using ptr = std::shared_ptr<async_operation_handle>;
    using callback = std::function<void(T)>;

    virtual ~async_operation_handle() = default;

    // Whether the result has arrived (its callback may still be queued).
    virtual bool is_complete() const = 0;
    // Starts the same operation again; its result goes to the callback too.
    virtual void restart() = 0;

    void set_callback(callback cb) { m_callback = std::move(cb); }
    const callback& get_callback() const { return m_callback; }

protected:
    callback m_callback;
};

}  // namespace kel::libs::core
