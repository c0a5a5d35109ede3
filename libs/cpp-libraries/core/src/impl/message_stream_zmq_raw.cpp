#include "message_stream_zmq_raw.h"

#include <boost/asio/error.hpp>

#include <algorithm>

namespace kel::libs::core {

namespace {

class subscription_impl final : public message_stream::subscription {
public:
    explicit subscription_impl(std::shared_ptr<message_stream::callback> cb) : m_callback(std::move(cb)) {}

private:
    std::shared_ptr<message_stream::callback> m_callback;
};

}  // namespace

message_stream_zmq_raw::message_stream_zmq_raw(boost::asio::io_context& io_context, const component_logger& logger,
                                               const std::string& address, std::size_t max_frame_bytes)
    : m_callbacks(std::make_shared<callbacks_map>()),
      m_socket(io_context, ::zmq::socket_type::sub),
      m_retry_timer(io_context),
      m_logger(logger),
      m_frame_limit(logger, max_frame_bytes) {
    m_socket.connect(address);
    setup_receive();
}

message_stream::subscription::ptr message_stream_zmq_raw::subscribe(boost::string_view topic, callback cb) {
    auto inserted = m_callbacks->try_emplace(topic.to_string());
    if (inserted.second)
        m_socket.subscribe(topic);
    auto shared = std::make_shared<callback>(std::move(cb));
    inserted.first->second.push_back(shared);
    return std::make_unique<subscription_impl>(std::move(shared));
}

void message_stream_zmq_raw::setup_receive() {
    // The socket never calls a handler once it is destroyed, and it dies with
    // the stream, so `this` is valid whenever the handler runs.
    m_socket.async_receive([this](const boost::system::error_code& error, ::zmq::message_t& message) {
        on_receive(error, message);
    });
}

void message_stream_zmq_raw::on_receive(const boost::system::error_code& error, ::zmq::message_t& message) {
    if (error == boost::asio::error::operation_aborted)
        return;
    if (error) {
        m_logger.log_error(error, KEL_SOURCE_LOCATION());
        retry_receive();
        return;
    }
    // Held for the delivery, so that a callback destroying the stream does
    // not pull the map from under the loops below.
    const std::shared_ptr<callbacks_map> callbacks = m_callbacks;
    setup_receive();
    const std::weak_ptr<bool> alive = m_alive;
    burst_observer* const observer = m_burst_observer;
    if (!observer) {
        deliver(*callbacks, message, alive);
        return;
    }
    observer->burst_begins();
    try {
        deliver(*callbacks, message, alive);
        if (alive.lock() && drain(*callbacks, alive, 1)) {
            for (std::size_t bursts = 1; bursts < max_bursts_per_wakeup; ++bursts) {
                observer->burst_follows();
                if (!drain(*callbacks, alive, 0))
                    break;
            }
        }
    } catch (...) {
        observer->burst_ends();
        throw;
    }
    observer->burst_ends();
}

// The frames already waiting are taken without waking up again: their
// writes and events then share the burst's single round trip and release.
// The bounds keep a steady stream from holding one burst's events back.
bool message_stream_zmq_raw::drain(callbacks_map& callbacks, const std::weak_ptr<bool>& alive, std::size_t taken) {
    const auto deadline = std::chrono::steady_clock::now() + max_burst_time;
    ::zmq::message_t message;
    for (; taken < max_burst_frames; ++taken) {
        try {
            if (!m_socket.try_receive_now(message))
                return false;
        } catch (const boost::system::system_error& e) {
            // The outstanding receive meets the same error and retries.
            m_logger.log_error(e.code(), KEL_SOURCE_LOCATION());
            return false;
        }
        deliver(callbacks, message, alive);
        if (!alive.lock())
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return true;
    }
    return true;
}

// A frame beyond the size limit is dropped (and logged) unread.
void message_stream_zmq_raw::deliver(callbacks_map& callbacks, const ::zmq::message_t& message,
                                     const std::weak_ptr<bool>& alive) {
    const boost::string_view frame(static_cast<const char*>(message.data()), message.size());
    if (!m_frame_limit.admits(frame))
        return;
    deliver(callbacks, frame);
    if (alive.lock())
        m_frame_limit.handled(frame.size());
}

void message_stream_zmq_raw::retry_receive() {
    m_retry_timer.expires_after(receive_retry_delay);
    // The timer dies with the stream and cancels its wait then, so `this`
    // is valid whenever the handler runs without operation_aborted.
    m_retry_timer.async_wait([this](const boost::system::error_code& error) {
        if (error != boost::asio::error::operation_aborted)
            setup_receive();
    });
}

void message_stream_zmq_raw::deliver(callbacks_map& callbacks, boost::string_view frame) {
    const auto topic = std::find_if(callbacks.begin(), callbacks.end(),
                                    [frame](const auto& entry) { return frame.starts_with(entry.first); });
    if (topic == callbacks.end())
        return;
    callbacks_vector& entries = topic->second;
    // By index and up to the size at the start: a callback may subscribe more
    // callbacks to this topic, which must wait for the next frame.
    const std::size_t count = entries.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (const auto cb = entries[i].lock())
            (*cb)(frame);
    }
    entries.erase(std::remove_if(entries.begin(), entries.end(), [](const auto& e) { return e.expired(); }),
                  entries.end());
}

}  // namespace kel::libs::core
