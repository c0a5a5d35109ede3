#pragma once

#include "message_stream_zmq_raw.h"

namespace kel::libs::core {

// The message stream with the system's topic convention on top of the raw
// one: a topic that starts with a letter travels with a "#" in front of it
// ("notify" is #notify on the wire), any other topic ("$pos", "#pos")
// unchanged. Callbacks get the JSON payload only: the frame from its first
// "{" on; a frame without one is dropped.
class message_stream_zmq final : public message_stream {
public:
    // Throws boost::system::system_error when `address` cannot be connected.
    message_stream_zmq(boost::asio::io_context& io_context, const component_logger& logger,
                       const std::string& address);

    subscription::ptr subscribe(boost::string_view topic, callback cb) override;
    void set_burst_observer(burst_observer* observer) override { m_stream_zmq_raw.set_burst_observer(observer); }

private:
    message_stream_zmq_raw m_stream_zmq_raw;
};

}  // namespace kel::libs::core
