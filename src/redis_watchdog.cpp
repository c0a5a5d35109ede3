#include "redis_watchdog.h"

#include "core/source_location.h"

namespace kel {

redis_watchdog::redis_watchdog(libs::core::events_loop& loop, context_save_restore_impl& persistence,
                               const libs::core::component_logger& logger, std::chrono::nanoseconds period)
    : m_persistence(persistence),
      m_logger(logger),
      m_timer(loop.create_periodic_timer(
          period, "redis_watchdog", [this](libs::core::timer::time_point) { check(); }, KEL_SOURCE_LOCATION())) {}

// Whatever the check throws stays here: a timer callback that threw would
// end the loop's turn.
void redis_watchdog::check() {
    try {
        m_persistence.check_store();
    } catch (...) {
        if (!m_failing) {
            m_logger.error("Redis does not answer; the state of trackable objects in zones is kept in memory "
                           "and written back when it answers again");
            m_logger.log_exception();
        }
        m_failing = true;
        return;
    }
    if (m_failing)
        m_logger.info("Redis answers again; the state of trackable objects in zones is written back");
    m_failing = false;
}

}  // namespace kel
