#pragma once

#include "core/zmq/async_socket.h"

#include <boost/asio/io_context.hpp>
#include <boost/utility/string_view.hpp>

#include <functional>

namespace kel::site {

// The message proxy's input: a PULL socket bound on 127.0.0.1 to which the
// service pushes its events. Every message is handed to the handler on the
// loop thread, as a view valid for the call. Receiving goes on until the
// receiver is destroyed; the io_context must outlive it.
class event_receiver {
public:
    using handler = std::function<void(boost::string_view message)>;

    // Throws boost::system::system_error when the port cannot be bound.
    event_receiver(boost::asio::io_context& io_context, int port, handler on_message);

private:
    void receive();

    libs::core::zmq::async_socket m_socket;
    handler m_on_message;
};

}  // namespace kel::site
