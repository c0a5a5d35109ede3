#pragma once

#include "context_save_restore_impl.h"

#include "core/events_loop.h"
#include "core/logger.h"
#include "core/timer.h"

#include <chrono>

namespace kel {

// Checks the Redis store between the service's own commands. The
// persistence notices a lost connection only when it next writes, and a
// site whose tags stand still writes nothing: a Redis that restarted empty
// would then keep none of their records, and the next restart of the
// service would repeat their ENTERs and forget their LEAVEs. Every period
// the watchdog has the persistence check its store, which re-establishes a
// broken connection and writes back every record memory holds.
//
// An outage is logged once when it is noticed and once when Redis answers
// again, not at every period. Runs on the events loop; the persistence and
// the logger must outlive it, and destroying it stops the checks.
class redis_watchdog {
public:
    redis_watchdog(libs::core::events_loop& loop, context_save_restore_impl& persistence,
                   const libs::core::component_logger& logger, std::chrono::nanoseconds period);
    redis_watchdog(const redis_watchdog&) = delete;
    redis_watchdog& operator=(const redis_watchdog&) = delete;

private:
    void check();

    context_save_restore_impl& m_persistence;
    const libs::core::component_logger& m_logger;
    bool m_failing = false;
    // Last, so that it goes first: no check runs on a half-destroyed object.
    libs::core::periodic_timer::ptr m_timer;
};

}  // namespace kel
