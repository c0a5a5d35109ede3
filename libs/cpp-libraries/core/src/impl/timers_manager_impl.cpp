#include "timers_manager_impl.h"

#include "core/impl/periodic_timer_impl.h"
#include "timer_impl.h"

namespace kel::libs::core {

timers_manager_impl::timers_manager_impl(boost::asio::io_context& io_context, const component_logger& logger)
    : m_events_loop(io_context), m_logger(logger) {}

std::chrono::steady_clock::time_point timers_manager_impl::current_time_point() const {
    return std::chrono::steady_clock::now();
}

timestamp timers_manager_impl::current_timestamp() const {
    return timestamp::current_time();
}

timer::ptr timers_manager_impl::create_timer(std::chrono::nanoseconds delay, const std::string& name,
                                             timer::callback callback, source_location location) {
    return create_timer(timer::time_point(current_time_point()) + delay, name, std::move(callback), location);
}

timer::ptr timers_manager_impl::create_timer(timer::time_point due, const std::string&, timer::callback callback,
                                             source_location location) {
    auto t = std::make_unique<timer_impl>(m_events_loop, m_logger, std::move(callback), location);
    t->reset(due);
    return t;
}

periodic_timer::ptr timers_manager_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                               const std::string& name, timer::callback callback,
                                                               source_location location) {
    return std::make_unique<periodic_timer_impl>(name, *this, period, std::move(callback), location);
}

periodic_timer::ptr timers_manager_impl::create_periodic_timer(std::chrono::nanoseconds period,
                                                               periodic_timer::execute_now now,
                                                               const std::string& name, timer::callback callback,
                                                               source_location location) {
    return std::make_unique<periodic_timer_impl>(name, *this, period, now, std::move(callback), location);
}

}  // namespace kel::libs::core
