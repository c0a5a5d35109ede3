#pragma once

#include "frame_limit.h"

#include "core/logger.h"
#include "core/message_stream.h"
#include "core/zmq/async_socket.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kel::libs::core {

// A message stream over one ZeroMQ SUB socket. Every frame is delivered as
// a whole, topic included, to the callbacks of the first subscribed topic
// (in byte order) that is a prefix of it; a frame matching none is dropped,
// and so is one longer than `max_frame_bytes` (logged, see frame_limit).
//
// Each wake-up hands over a burst: the frame that woke it and those already
// waiting behind it, at most max_burst_frames of them or as many as arrive
// within max_burst_time of work, between the burst observer's calls. When a
// burst reaches its bound with frames still waiting, further bursts follow
// in the same wake-up, up to max_bursts_per_wakeup, after which the events
// loop runs its other handlers.
// One receive is outstanding at a time, and the next one is started before
// a frame is delivered: a callback that throws ends the burst and leaves the
// events loop's run() with reception still going on. A receive that fails
// is logged and tried again after receive_retry_delay, so that a socket
// failing on every call neither stops reception nor spins the loop. The
// io_context and the logger must outlive the stream.
class message_stream_zmq_raw final : public message_stream {
public:
    // Throws boost::system::system_error when `address` cannot be connected.
    message_stream_zmq_raw(boost::asio::io_context& io_context, const component_logger& logger,
                           const std::string& address,
                           std::size_t max_frame_bytes = frame_limit::default_max_bytes);

    // A topic is subscribed on the socket once, however many callbacks it
    // gets; dropping a subscription leaves the socket's filter as it is.
    subscription::ptr subscribe(boost::string_view topic, callback cb) override;

    void set_burst_observer(burst_observer* observer) override { m_burst_observer = observer; }

    static constexpr std::chrono::milliseconds receive_retry_delay{100};
    static constexpr std::size_t max_burst_frames = 256;
    static constexpr std::chrono::microseconds max_burst_time{1000};
    static constexpr std::size_t max_bursts_per_wakeup = 8;

    // The socket under the stream: for its options, and for tests.
    zmq::async_socket& socket() { return m_socket; }

private:
    // Weak, so that a dropped subscription is never called; expired entries
    // are purged after the next delivery on their topic.
    using callbacks_vector = std::vector<std::weak_ptr<callback>>;
    using callbacks_map = std::map<std::string, callbacks_vector>;

    void setup_receive();
    void on_receive(const boost::system::error_code& error, ::zmq::message_t& message);
    void retry_receive();
    // Delivers waiting frames, after `taken` of the burst were, until a
    // bound is reached, no frame waits or a callback destroyed the stream;
    // returns whether it stopped at a bound.
    bool drain(callbacks_map& callbacks, const std::weak_ptr<bool>& alive, std::size_t taken);
    static void deliver(callbacks_map& callbacks, boost::string_view frame);
    void deliver(callbacks_map& callbacks, const ::zmq::message_t& message, const std::weak_ptr<bool>& alive);

    // Shared so that a delivery can keep the map alive while one of its
    // callbacks destroys the stream.
    std::shared_ptr<callbacks_map> m_callbacks;
    zmq::async_socket m_socket;
    boost::asio::steady_timer m_retry_timer;
    const component_logger& m_logger;
    frame_limit m_frame_limit;
    burst_observer* m_burst_observer = nullptr;
    // Expires with the stream: a burst in progress stops touching it.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace kel::libs::core
