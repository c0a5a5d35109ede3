#pragma once

#include "core/core.h"
#include "core/events_loop.h"
#include "core/logger.h"

#include <boost/asio/io_context.hpp>

#include <memory>

namespace kel::libs::core {

class events_loop_impl final : public events_loop {
public:
    events_loop_impl(core& core, const component_logger& logger);
    ~events_loop_impl() override;

    void run() override;
    void run_catch_exceptions(source_location location) override;
    void stop() override;
    bool is_stopped() const override;
    signals_handle::ptr stop_on_signals(std::function<void()> on_signal) override;

    timers_manager& get_timers() override { return *m_timers; }
    timer::ptr create_timer(timer::time_point due, const std::string& name, timer::callback callback,
                            source_location location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period, const std::string& name,
                                              timer::callback callback, source_location location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period, periodic_timer::execute_now now,
                                              const std::string& name, timer::callback callback,
                                              source_location location) override;

    message_stream::ptr create_zmq_message_stream(const std::string& address) override;
    message_stream::ptr create_zmq_raw_message_stream(const std::string& address) override;
    http::client::ptr create_http_client(const std::string& address, std::chrono::seconds timeout) override;
    http::client::ptr create_http_client(const std::string& address, std::chrono::seconds timeout,
                                         const std::vector<http::method>& disabled_methods, int threads) override;

    void post(std::function<void()> f, source_location location) override;
    work::ptr create_work() override;

    boost::asio::io_context& get_io_context() override { return m_io_context; }
    const boost::asio::io_context& get_io_context() const override { return m_io_context; }

private:
    core& m_core;
    boost::asio::io_context m_io_context;
    const component_logger& m_logger;
    std::unique_ptr<timers_manager> m_timers;
};

}  // namespace kel::libs::core
