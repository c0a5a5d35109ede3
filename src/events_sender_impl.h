#pragma once

#include "events_sender.h"
#include "metrics.h"
#include "recycled.h"

#include "core/logger.h"
#include "core/zmq/async_socket.h"

#include <boost/utility/string_view.hpp>

#include <string>
#include <vector>

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
    // only once Redis answered for the burst's writes.
    void hold();
    void release_held();
    // Sends each message, or keeps it while held; a failed send is logged
    // and counted, and the rest still go out. Called by the queues, once per
    // action.
    void transmit(std::vector<std::string>& messages, metrics::action action);

private:
    struct held_event {
        std::string text;
        metrics::action action;
    };

    void send(const std::string& text, metrics::action action);

    push_socket& m_socket;
    const libs::core::component_logger& m_logger;
    bool m_send_events_to_pubsub;
    bool m_print_events_to_log;
    event_signal m_enter_signal;
    event_signal m_leave_signal;
    bool m_holding = false;
    std::vector<held_event> m_held;
};

// Collects the messages of one batch and transmits them when destroyed:
// every ENTER before every LEAVE, each kind in the order it was decided, so
// that an object moving from one zone into another is never seen in
// neither. The sender transmits them. It refers to its sender's logger and
// signals, so it must not outlive the sender. One is created per decision
// pass: its block is recycled, so that creating it allocates nothing.
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
    std::string format_event(boost::string_view action, const context::trackable_object_in_zone& record,
                             boost::optional<const context::trackable_object&> object,
                             libs::core::timestamp ts) const;
    void queue_event(std::vector<std::string>& events, std::string text);

    events_sender_impl& m_sender;
    const libs::core::component_logger& m_logger;
    std::vector<std::string> m_enter_events;
    std::vector<std::string> m_leave_events;
    bool m_send_events_to_pubsub;
    bool m_print_events_to_log;
    event_signal& m_enter_signal;
    event_signal& m_leave_signal;
};

}  // namespace kel
