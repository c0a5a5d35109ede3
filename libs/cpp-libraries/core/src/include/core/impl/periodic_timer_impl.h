#pragma once

#include "core/exception.h"
#include "core/timers_manager.h"

#include <memory>
#include <string>

namespace kel::libs::core {

// A periodic timer built on one one-shot timer that it re-arms before every
// call. The one-shot timer's handler holds the callback weakly, so stop() or
// destruction inside the callback is safe.
class periodic_timer_impl final : public periodic_timer {
public:
    periodic_timer_impl(std::string name, timers_manager& manager, std::chrono::nanoseconds period,
                        timer::callback callback, source_location location)
        : m_name(std::move(name)),
          m_timers_manager(manager),
          m_period(period),
          m_callback(std::make_shared<timer::callback>(std::move(callback))),
          m_location(location) {
        if (m_period.count() <= 0)
            throw exception("periodic timer " + m_name + ": the period must be greater than zero", location);
        restart_impl();
    }

    periodic_timer_impl(std::string name, timers_manager& manager, std::chrono::nanoseconds period,
                        periodic_timer::execute_now, timer::callback callback, source_location location)
        : periodic_timer_impl(std::move(name), manager, period, std::move(callback), location) {
        expire_now();
    }

    void reset(std::chrono::nanoseconds period) override {
        if (period.count() <= 0)
            throw exception("periodic timer " + m_name + ": the period must be greater than zero", m_location);
        m_period = period;
        restart();
    }

    void stop() override { m_timer.reset(); }
    void restart() override { restart_impl(); }

    void expire_now() override {
        if (m_timer)
            m_timer->reset(now());
    }

private:
    timer::time_point now() const { return timer::time_point(m_timers_manager.current_time_point()); }

    void restart_impl() {
        std::weak_ptr<timer::callback> weak = m_callback;
        m_timer = m_timers_manager.create_timer(
            now() + m_period, m_name, [this, weak](timer::time_point due) { on_expired(weak, due); }, m_location);
    }

    void on_expired(const std::weak_ptr<timer::callback>& weak, timer::time_point due) {
        auto callback = weak.lock();
        if (!callback)
            return;
        const auto current = now();
        auto next = due + m_period;
        if (due <= current)
            next = due + ((current - due) / m_period + 1) * m_period;
        m_timer->reset(next);
        (*callback)(due);
    }

    std::string m_name;
    timers_manager& m_timers_manager;
    timer::ptr m_timer;
    std::chrono::nanoseconds m_period;
    std::shared_ptr<timer::callback> m_callback;
    source_location m_location;
};

}  // namespace kel::libs::core
