#include "events_sender_impl.h"

#include "event_text.h"
#include "metrics.h"

#include <utility>

namespace kel {

namespace {

// The current position, or failing that the last one.
boost::optional<context::point> reported_position(boost::optional<const context::trackable_object&> object) {
    if (!object)
        return boost::none;
    if (object->get_position())
        return object->get_position();
    return object->get_last_position();
}

}  // namespace

events_sender_impl::events_sender_impl(push_socket& socket, const libs::core::component_logger& logger,
                                       bool send_events_to_pubsub, bool print_events_to_log)
    : m_socket(socket),
      m_logger(logger),
      m_send_events_to_pubsub(send_events_to_pubsub),
      m_print_events_to_log(print_events_to_log) {}

events_queue::ptr events_sender_impl::create_queue() {
    return std::make_unique<events_queue_impl>(*this, m_logger, m_send_events_to_pubsub, m_print_events_to_log,
                                               m_enter_signal, m_leave_signal);
}

void events_sender_impl::hold() {
    m_holding = true;
}

void events_sender_impl::await_commit() {
    if (m_awaiting_commit.empty())
        std::swap(m_awaiting_commit, m_held);
    else
        m_awaiting_commit.append(m_held);
    m_held.clear();
}

void events_sender_impl::release_committed() {
    send_all(m_awaiting_commit);
    m_awaiting_commit.clear();
}

void events_sender_impl::release_held() {
    m_holding = false;
    release_committed();
    send_all(m_held);
    m_held.clear();
}

void events_sender_impl::transmit(const event_batch& messages) {
    if (m_holding)
        m_held.append(messages);
    else
        send_all(messages);
}

void events_sender_impl::send_all(const event_batch& messages) {
    for (std::size_t i = 0; i < messages.size(); ++i)
        send(messages.text(i), messages.action(i));
}

void events_sender_impl::send(boost::string_view text, metrics::action action) {
    const auto error = m_socket.send(text);
    if (error) {
        metrics::counts().send_failed();
        m_logger.log_error(error, KEL_SOURCE_LOCATION());
    } else {
        metrics::counts().event_sent(action);
    }
}

events_sender::connection events_sender_impl::do_on_enter_event(const slot_type& slot) {
    return m_enter_signal.connect(slot);
}

events_sender::connection events_sender_impl::do_on_leave_event(const slot_type& slot) {
    return m_leave_signal.connect(slot);
}

events_queue_impl::events_queue_impl(events_sender_impl& sender, const libs::core::component_logger& logger,
                                     bool send_events_to_pubsub, bool print_events_to_log, event_signal& enter_signal,
                                     event_signal& leave_signal)
    : m_sender(sender),
      m_logger(logger),
      m_send_events_to_pubsub(send_events_to_pubsub),
      m_print_events_to_log(print_events_to_log),
      m_enter_signal(enter_signal),
      m_leave_signal(leave_signal) {
    m_enter_events = sender.acquire_batch();
    m_leave_events = sender.acquire_batch();
}

events_queue_impl::~events_queue_impl() {
    if (m_send_events_to_pubsub) {
        m_sender.transmit(*m_enter_events);
        m_sender.transmit(*m_leave_events);
    }
    m_sender.release_batch(std::move(m_enter_events));
    m_sender.release_batch(std::move(m_leave_events));
}

void events_queue_impl::send_enter(const context::trackable_object_in_zone& record,
                                   boost::optional<const context::trackable_object&> object,
                                   libs::core::timestamp ts) {
    m_enter_signal(record, object, ts);
    queue_event(*m_enter_events, metrics::action::enter, record, object, ts);
}

void events_queue_impl::send_leave(const context::trackable_object_in_zone& record,
                                   boost::optional<const context::trackable_object&> object,
                                   libs::core::timestamp ts) {
    m_leave_signal(record, object, ts);
    queue_event(*m_leave_events, metrics::action::leave, record, object, ts);
}

void events_queue_impl::queue_event(event_batch& events, metrics::action action,
                                    const context::trackable_object_in_zone& record,
                                    boost::optional<const context::trackable_object&> object,
                                    libs::core::timestamp ts) {
    event_fields event;
    event.action = action == metrics::action::enter ? "enter" : "leave";
    event.ts = ts.get_ts();
    event.ms = ts.get_ms();
    event.sublocation_uid = record.get_sublocation_uid();
    event.obj_uid = record.get_trackable_object_uid();
    event.project_uid = record.get_project_uid();
    event.zone_uid = record.get_zone_uid();
    event.zone_type_name = record.get_zone_type_name();
    event.position = reported_position(object);
    events.add(event, action);
    if (m_print_events_to_log)
        m_logger.info("Event %1%") % events.text(events.size() - 1);
}

}  // namespace kel
