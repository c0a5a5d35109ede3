#pragma once

#include "metrics.h"

#include "core/logger.h"
#include "core/message_stream.h"

#include <cstdint>

namespace kel {

namespace redis {
class context;
}
class context_debug;
class context_save_restore_impl;
class events_sender_impl;

// Group commit of the message stream's bursts. While a burst is handled,
// every Redis command of the persistence and the debug mirror is appended,
// in the order and form it has outside a burst, and every released events
// queue is held. At the burst's end the commands go to Redis in one round
// trip, and then the events leave, in the order their queues were released:
// no position waits for Redis on its own, and an event on the wire is never
// one that Redis does not know of.
//
// When the next burst follows at once, the ended burst's commands are sent
// and its events kept back while the next is handled: Redis answers while
// the service works, and the answer is read at the next burst's end, before
// that burst's own commands go. The events still leave in order, each only
// after Redis answered for its burst. Should that answer show a failure or
// a reconnect, the next burst (whose saves assumed the earlier ones landed)
// is settled at once, with the rewrite that is then due run before any of
// the events held leave. After a wake-up's last burst, nothing is in flight.
//
// A burst whose commands fail is logged once; its records count as never
// saved (the next operation rewrites what memory holds) and its events
// still go out. Each burst's time on the loop is counted for the metrics.
// Everything it refers to must outlive it.
class burst_commit final : public libs::core::message_stream::burst_observer {
public:
    burst_commit(redis::context& redis_context, context_save_restore_impl& persistence, context_debug& mirror,
                 events_sender_impl& sender, const libs::core::component_logger& logger);
    burst_commit(const burst_commit&) = delete;
    burst_commit& operator=(const burst_commit&) = delete;

    void burst_begins() override;
    void burst_follows() noexcept override;
    void burst_ends() noexcept override;

private:
    // Sends the open burst; unless it may stay in flight, settles it too.
    void close_burst(bool may_stay_in_flight) noexcept;
    // Reads Redis's answer for the burst in flight and finishes it; returns
    // whether it landed with no failure and no reconnect since it was sent.
    bool settle_in_flight() noexcept;

    redis::context& m_redis_context;
    context_save_restore_impl& m_persistence;
    context_debug& m_mirror;
    events_sender_impl& m_sender;
    const libs::core::component_logger& m_logger;
    metrics::clock::time_point m_started;
    bool m_in_flight = false;
    std::uint64_t m_reconnects_at_send = 0;
};

}  // namespace kel
