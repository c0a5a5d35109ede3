#include "burst_commit.h"

#include "context_debug.h"
#include "context_save_restore_impl.h"
#include "events_sender_impl.h"
#include "redis/redis_context.h"

namespace kel {

burst_commit::burst_commit(redis::context& redis_context, context_save_restore_impl& persistence,
                           context_debug& mirror, events_sender_impl& sender,
                           const libs::core::component_logger& logger)
    : m_redis_context(redis_context),
      m_persistence(persistence),
      m_mirror(mirror),
      m_sender(sender),
      m_logger(logger) {}

void burst_commit::burst_begins() {
    m_started = metrics::counts().started();
    m_redis_context.begin_burst();
    m_sender.hold();
}

void burst_commit::burst_follows() noexcept {
    close_burst(true);
    burst_begins();
}

void burst_commit::burst_ends() noexcept {
    close_burst(false);
}

void burst_commit::close_burst(bool may_stay_in_flight) noexcept {
    const bool previous_landed = settle_in_flight();
    if (previous_landed)
        m_sender.release_committed();
    m_reconnects_at_send = m_redis_context.get_reconnects();
    m_redis_context.send_burst();
    m_persistence.burst_sent();
    m_mirror.burst_sent();
    m_sender.await_commit();
    m_in_flight = true;
    if (!may_stay_in_flight || !previous_landed) {
        settle_in_flight();
        m_sender.release_held();
    }
    metrics::counts().burst_handled(m_started);
}

bool burst_commit::settle_in_flight() noexcept {
    if (!m_in_flight)
        return true;
    m_in_flight = false;
    bool written = true;
    try {
        m_redis_context.settle_burst();
    } catch (...) {
        written = false;
        m_logger.log_exception();
    }
    m_mirror.end_burst(written);
    try {
        // After a reconnect Redis may have come back empty: the rewrite
        // runs before the events leave, as it does outside bursts. While
        // the next burst is open, it waits for that burst's end.
        m_persistence.end_burst(written);
    } catch (...) {
        m_logger.log_exception();
    }
    return written && m_redis_context.get_reconnects() == m_reconnects_at_send && !m_persistence.rewrite_pending();
}

}  // namespace kel
