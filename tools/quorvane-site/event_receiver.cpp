#include "event_receiver.h"

namespace kel::site {

event_receiver::event_receiver(boost::asio::io_context& io_context, int port, handler on_message)
    : m_socket(io_context, ::zmq::socket_type::pull), m_on_message(std::move(on_message)) {
    m_socket.bind("tcp://127.0.0.1:" + std::to_string(port));
    receive();
}

void event_receiver::receive() {
    m_socket.async_receive([this](const boost::system::error_code& error, ::zmq::message_t& message) {
        // Cancelled or broken: the socket is going away, and so is the demo.
        if (error)
            return;
        m_on_message(boost::string_view(static_cast<const char*>(message.data()), message.size()));
        receive();
    });
}

}  // namespace kel::site
