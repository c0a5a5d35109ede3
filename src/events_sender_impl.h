#pragma once

#include "event_batch.h"
#include "events_sender.h"
#include "metrics.h"
#include "recycled.h"

#include "core/logger.h"
#include "core/zmq/async_socket.h"

#include <boost/utility/string_view.hpp>

#include <memory>

namespace kel {

using push_socket = libs::core::zmq::async_socket;

// Sends each event as one single-part message "#zone_event <JSON object>" on
// the PUSH socket. The socket and the logger must outlive the sender.
class events_sender_impl : public events_sender {
public:
    // Nothing is transmitted unless `send_events_to_pubsub`; with
    // `print_events_to_log` every event text is logged at info level.
    events_sender_impl(push_socket& socket, const libs::core::component_logger& logger, bool send_events_to_pubsub,
                       bool print_events_to_log);
    events_sender_impl(const events_sender_impl&) = delete;
    events_sender_impl& operator=(const events_sender_impl&) = delete;

    events_queue::ptr create_queue() override;
    connection do_on_enter_event(const slot_type& slot) override;
    connection do_on_leave_event(const slot_type& slot) override;

    // From hold() to release_held(), the messages of released queues wait,
    // in release order, and then go out together: a burst's events leave
    // only once Redis answered for the burst's writes. While a burst's
    // writes are in flight, the next burst's events may be held behind
    // them: await_commit() sets aside those held so far, release_committed()
    // sends what was set aside, and release_held() sends everything and
    // stops holding. The order of release is always kept.
    void hold();
    void await_commit();
    void release_committed();
    void release_held();
    // Sends each message, or keeps a copy of it while held; a failed send is
    // logged and counted, and the rest still go out. Called by the queues.
    void transmit(const event_batch& messages);
    // The queues' batches come from here and go back here, so that they
    // keep their capacity from one decision pass to the next.
    std::unique_ptr<event_batch> acquire_batch() { return m_batches.acquire(); }
    void release_batch(std::unique_ptr<event_batch> batch) { m_batches.release(std::move(batch)); }

private:
    void send_all(const event_batch& messages);
    void send(boost::string_view text, metrics::action action);

    push_socket& m_socket;
    const libs::core::component_logger& m_logger;
    bool m_send_events_to_pubsub;
    bool m_print_events_to_log;
    event_signal m_enter_signal;
    event_signal m_leave_signal;
    bool m_holding = false;
    event_batch m_held;
    // Set aside by await_commit(), sent before anything held after it.
    event_batch m_awaiting_commit;
    event_batch_pool m_batches;
};

// Collects the messages of one batch and transmits them when destroyed:
// every ENTER before every LEAVE, each kind in the order it was decided, so
// that an object moving from one zone into another is never seen in
// neither. The sender transmits them. It refers to its sender's logger and
// signals, so it must not outlive the sender. One is created per decision
// pass: its block is recycled and its batches come from the sender's pool,
// so that creating it and queueing events allocate nothing.
class events_queue_impl : public events_queue, public recycled<events_queue_impl> {
public:
    events_queue_impl(events_sender_impl& sender, const libs::core::component_logger& logger,
                      bool send_events_to_pubsub, bool print_events_to_log, event_signal& enter_signal,
                      event_signal& leave_signal);
    ~events_queue_impl() override;
    events_queue_impl(const events_queue_impl&) = delete;
    events_queue_impl& operator=(const events_queue_impl&) = delete;

    // The signal runs first; a slot that throws leaves the event unqueued.
    void send_enter(const context::trackable_object_in_zone& record,
                    boost::optional<const context::trackable_object&> object, libs::core::timestamp ts) override;
    void send_leave(const context::trackable_object_in_zone& record,
                    boost::optional<const context::trackable_object&> object, libs::core::timestamp ts) override;

private:
    void queue_event(event_batch& events, metrics::action action, const context::trackable_object_in_zone& record,
                     boost::optional<const context::trackable_object&> object, libs::core::timestamp ts);

    events_sender_impl& m_sender;
    const libs::core::component_logger& m_logger;
    std::unique_ptr<event_batch> m_enter_events;
    std::unique_ptr<event_batch> m_leave_events;
    bool m_send_events_to_pubsub;
    bool m_print_events_to_log;
    event_signal& m_enter_signal;
    event_signal& m_leave_signal;
};

}  // namespace kel
