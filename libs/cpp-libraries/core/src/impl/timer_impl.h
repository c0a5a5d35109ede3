#pragma once

#include "core/logger.h"
#include "core/timer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdint>
#include <memory>

namespace kel::libs::core {

class timer_impl final : public timer {
public:
    timer_impl(boost::asio::io_context& io_context, const component_logger& logger, callback callback,
               source_location location);
    ~timer_impl() override;

    bool is_waiting() const override { return m_data->m_waiting; }
    void reset(time_point due) override;
    void stop() override;

private:
    // Shared with the pending wait's handler, which holds it weakly: a timer
    // destroyed before it fires never calls back into freed memory.
    struct shared_data {
        callback m_callback;
        bool m_waiting = false;
        // Bumped by every reset and stop. A wait that completed before it
        // could be cancelled still runs its handler; the stale generation
        // tells that handler to stay silent.
        std::uint64_t m_generation = 0;
    };

    static void on_wait(const std::weak_ptr<shared_data>& weak, const component_logger& logger,
                        const source_location& location, time_point due, std::uint64_t generation,
                        const boost::system::error_code& error);

    boost::asio::steady_timer m_timer;
    time_point m_time_point;
    const component_logger& m_logger;
    source_location m_location;
    std::shared_ptr<shared_data> m_data;
};

}  // namespace kel::libs::core
