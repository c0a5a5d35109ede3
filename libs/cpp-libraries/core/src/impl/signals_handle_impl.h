#pragma once

#include "core/core.h"
#include "core/events_loop.h"

#include <boost/asio/signal_set.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace kel::libs::core {

// Waits for SIGINT and SIGTERM on a loop and thread of its own, runs the
// caller's `on_signal` and stops the main loop when one arrives. The main
// loop, and what `on_signal` uses, must outlive the handle.
class signals_handle_impl final : public events_loop::signals_handle {
public:
    signals_handle_impl(core& core, events_loop& main_events_loop, std::function<void()> also_on_signal);
    ~signals_handle_impl() override;

    bool signal_is_received() const override { return m_signal_is_received; }

private:
    void on_signal(const boost::system::error_code& error);

    events_loop::ptr m_thread_events_loop;
    events_loop& m_main_events_loop;
    std::function<void()> m_on_signal;
    std::atomic<bool> m_signal_is_received{false};
    // Registered before the thread starts, so that a signal arriving as soon
    // as stop_on_signals() returns is already ours and cannot kill the process.
    std::unique_ptr<boost::asio::signal_set> m_signals;
    std::thread m_thread;
};

}  // namespace kel::libs::core
