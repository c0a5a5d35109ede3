#pragma once

#include "core/logger.h"
#include "core/timers_manager.h"

#include <boost/asio/io_context.hpp>

namespace kel::libs::core {

class timers_manager_impl final : public timers_manager {
public:
    timers_manager_impl(boost::asio::io_context& io_context, const component_logger& logger);

    std::chrono::steady_clock::time_point current_time_point() const override;
    timestamp current_timestamp() const override;

    timer::ptr create_timer(std::chrono::nanoseconds delay, const std::string& name, timer::callback callback,
                            source_location location) override;
    timer::ptr create_timer(timer::time_point due, const std::string& name, timer::callback callback,
                            source_location location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period, const std::string& name,
                                              timer::callback callback, source_location location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period, periodic_timer::execute_now,
                                              const std::string& name, timer::callback callback,
                                              source_location location) override;

private:
    boost::asio::io_context& m_events_loop;
    const component_logger& m_logger;
};

}  // namespace kel::libs::core
