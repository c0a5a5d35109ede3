#include "events_loop_impl.h"

#include "http/client_impl.h"
#include "message_stream_zmq.h"
#include "message_stream_zmq_raw.h"
#include "signals_handle_impl.h"
#include "timers_manager_impl.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>

namespace kel::libs::core {

namespace {

class work_impl final : public events_loop::work {
public:
    explicit work_impl(boost::asio::io_context& io_context) : m_guard(io_context.get_executor()) {}

private:
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_guard;
};

}  // namespace

events_loop_impl::events_loop_impl(core& core, const component_logger& logger)
    : m_core(core), m_logger(logger),
      m_timers(std::make_unique<timers_manager_impl>(m_io_context, m_logger)) {}

events_loop_impl::~events_loop_impl() = default;

void events_loop_impl::run() {
    m_io_context.run();
}

void events_loop_impl::run_catch_exceptions(source_location location) {
    for (;;) {
        try {
            m_io_context.run();
            return;
        } catch (...) {
            m_logger.log_exception(location);
        }
    }
}

void events_loop_impl::stop() {
    m_io_context.stop();
}

bool events_loop_impl::is_stopped() const {
    return m_io_context.stopped();
}

events_loop::signals_handle::ptr events_loop_impl::stop_on_signals(std::function<void()> on_signal) {
    return std::make_unique<signals_handle_impl>(m_core, *this, std::move(on_signal));
}

timer::ptr events_loop_impl::create_timer(timer::time_point due, const std::string& name, timer::callback callback,
                                          source_location location) {
    return m_timers->create_timer(due, name, std::move(callback), location);
}

periodic_timer::ptr events_loop_impl::create_periodic_timer(std::chrono::nanoseconds period, const std::string& name,
                                                            timer::callback callback, source_location location) {
    return m_timers->create_periodic_timer(period, name, std::move(callback), location);
}

periodic_timer::ptr events_loop_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                            periodic_timer::execute_now now, const std::string& name,
                                                            timer::callback callback, source_location location) {
    return m_timers->create_periodic_timer(period, now, name, std::move(callback), location);
}

message_stream::ptr events_loop_impl::create_zmq_message_stream(const std::string& address) {
    return std::make_unique<message_stream_zmq>(m_io_context, m_logger, address);
}

message_stream::ptr events_loop_impl::create_zmq_raw_message_stream(const std::string& address) {
    return std::make_unique<message_stream_zmq_raw>(m_io_context, m_logger, address);
}

http::client::ptr events_loop_impl::create_http_client(const std::string& address, std::chrono::seconds timeout) {
    constexpr int default_worker_threads = 10;
    return create_http_client(address, timeout, {}, default_worker_threads);
}

http::client::ptr events_loop_impl::create_http_client(const std::string& address, std::chrono::seconds timeout,
                                                       const std::vector<http::method>& disabled_methods,
                                                       int threads) {
    return std::make_unique<http::client_impl>(m_core, *this, m_logger, address, timeout, disabled_methods, threads);
}

void events_loop_impl::post(std::function<void()> f, source_location) {
    boost::asio::post(m_io_context, std::move(f));
}

events_loop::work::ptr events_loop_impl::create_work() {
    return std::make_unique<work_impl>(m_io_context);
}

}  // namespace kel::libs::core
