#include "timer_impl.h"

#include <boost/asio/error.hpp>

namespace kel::libs::core {

timer_impl::timer_impl(boost::asio::io_context& io_context, const component_logger& logger, callback callback,
                       source_location location)
    : m_timer(io_context), m_logger(logger), m_location(location), m_data(std::make_shared<shared_data>()) {
    m_data->m_callback = std::move(callback);
}

timer_impl::~timer_impl() {
    m_timer.cancel();
}

void timer_impl::reset(time_point due) {
    m_time_point = due;
    m_data->m_waiting = true;
    const auto generation = ++m_data->m_generation;
    m_timer.expires_at(due);
    std::weak_ptr<shared_data> weak = m_data;
    const component_logger& logger = m_logger;
    const source_location location = m_location;
    m_timer.async_wait([weak, &logger, location, due, generation](const boost::system::error_code& error) {
        on_wait(weak, logger, location, due, generation, error);
    });
}

void timer_impl::stop() {
    m_data->m_waiting = false;
    ++m_data->m_generation;
    m_timer.cancel();
}

void timer_impl::on_wait(const std::weak_ptr<shared_data>& weak, const component_logger& logger,
                         const source_location& location, time_point due, std::uint64_t generation,
                         const boost::system::error_code& error) {
    auto data = weak.lock();
    if (!data || data->m_generation != generation)
        return;
    if (error == boost::asio::error::operation_aborted)
        return;
    data->m_waiting = false;
    if (error) {
        logger.log_error(error, location);
        return;
    }
    // `data` keeps the callable alive even if the callback destroys the timer.
    data->m_callback(due);
}

}  // namespace kel::libs::core
