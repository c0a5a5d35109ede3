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

void burst_commit::burst_ends() noexcept {
    bool written = true;
    try {
        m_redis_context.end_burst();
    } catch (...) {
        written = false;
        m_logger.log_exception();
    }
    m_mirror.end_burst(written);
    try {
        // After a reconnect Redis may have come back empty: the rewrite
        // runs before the events leave, as it does outside bursts.
        m_persistence.end_burst(written);
    } catch (...) {
        m_logger.log_exception();
    }
    m_sender.release_held();
    metrics::counts().burst_handled(m_started);
}

}  // namespace kel
