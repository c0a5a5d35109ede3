#include "core/zmq/async_socket.h"

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/system_error.hpp>

namespace kel::libs::core::zmq {

namespace {

boost::system::error_code to_error_code(const ::zmq::error_t& e) {
    return boost::system::error_code(e.num(), boost::system::system_category());
}

[[noreturn]] void throw_system_error(const ::zmq::error_t& e, const std::string& what) {
    throw boost::system::system_error(to_error_code(e), what);
}

}  // namespace

// Messages still queued when the socket closes get this long to leave;
// ZeroMQ's default (forever) would hang the process at exit while the peer
// is away.
constexpr int linger_ms = 2000;

async_socket::async_socket(boost::asio::io_context& io_context, ::zmq::socket_type type)
    : m_io_context(io_context),
      m_own_context(std::make_unique<::zmq::context_t>(1)),
      m_socket(*m_own_context, type),
      m_descriptor(io_context, m_socket.get(::zmq::sockopt::fd)),
      m_alive(std::make_shared<bool>(true)) {
    m_socket.set(::zmq::sockopt::linger, linger_ms);
}

async_socket::async_socket(boost::asio::io_context& io_context, ::zmq::context_t& context, ::zmq::socket_type type)
    : m_io_context(io_context),
      m_socket(context, type),
      m_descriptor(io_context, m_socket.get(::zmq::sockopt::fd)),
      m_alive(std::make_shared<bool>(true)) {
    m_socket.set(::zmq::sockopt::linger, linger_ms);
}

async_socket::~async_socket() {
    boost::system::error_code ignored;
    m_descriptor.cancel(ignored);
    // The descriptor belongs to libzmq, which closes it with the socket.
    m_descriptor.release();
}

void async_socket::connect(const std::string& address) {
    try {
        m_socket.connect(address);
    } catch (const ::zmq::error_t& e) {
        throw_system_error(e, "connect " + address);
    }
}

void async_socket::bind(const std::string& address) {
    try {
        m_socket.bind(address);
    } catch (const ::zmq::error_t& e) {
        throw_system_error(e, "bind " + address);
    }
}

void async_socket::subscribe(boost::string_view topic) {
    m_socket.set(::zmq::sockopt::subscribe, ::zmq::const_buffer(topic.data(), topic.size()));
}

std::string async_socket::last_endpoint() const {
    return m_socket.get(::zmq::sockopt::last_endpoint);
}

boost::system::error_code async_socket::send(boost::string_view bytes) {
    boost::system::error_code error;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        try {
            if (!m_socket.send(::zmq::const_buffer(bytes.data(), bytes.size()), ::zmq::send_flags::dontwait))
                error = boost::asio::error::would_block;
        } catch (const ::zmq::error_t& e) {
            error = to_error_code(e);
        }
    }
    // A send may consume the descriptor's edge that announced incoming data.
    if (m_handler)
        boost::asio::post(m_io_context, [this, alive = std::weak_ptr<bool>(m_alive)] {
            if (alive.lock())
                try_receive();
        });
    return error;
}

void async_socket::async_receive(receive_handler handler) {
    m_handler = std::move(handler);
    boost::asio::post(m_io_context, [this, alive = std::weak_ptr<bool>(m_alive)] {
        if (alive.lock())
            try_receive();
    });
}

void async_socket::cancel() {
    boost::system::error_code ignored;
    m_descriptor.cancel(ignored);
}

bool async_socket::try_receive_now(::zmq::message_t& message) {
    if (m_injected_errors > 0) {
        --m_injected_errors;
        throw boost::system::system_error(m_injected_error);
    }
    try {
        return m_socket.recv(message, ::zmq::recv_flags::dontwait).has_value();
    } catch (const ::zmq::error_t& e) {
        throw boost::system::system_error(to_error_code(e));
    }
}

void async_socket::inject_receive_errors(const boost::system::error_code& error, std::size_t count) {
    m_injected_error = error;
    m_injected_errors = count;
}

void async_socket::try_receive() {
    if (!m_handler)
        return;
    ::zmq::message_t message;
    if (m_injected_errors > 0) {
        --m_injected_errors;
        complete(m_injected_error, message);
        return;
    }
    try {
        if (m_socket.recv(message, ::zmq::recv_flags::dontwait)) {
            complete({}, message);
            return;
        }
        // Drained: the descriptor fires again on the next change. Re-read the
        // events in case a message slipped in since the receive above.
        if (m_socket.get(::zmq::sockopt::events) & ZMQ_POLLIN) {
            try_receive();
            return;
        }
    } catch (const ::zmq::error_t& e) {
        complete(to_error_code(e), message);
        return;
    }
    wait_readable();
}

void async_socket::wait_readable() {
    if (m_waiting)
        return;
    m_waiting = true;
    m_descriptor.async_wait(boost::asio::posix::stream_descriptor::wait_read,
                            [this, alive = std::weak_ptr<bool>(m_alive)](const boost::system::error_code& error) {
                                if (!alive.lock())
                                    return;
                                m_waiting = false;
                                if (error) {
                                    ::zmq::message_t none;
                                    complete(error, none);
                                    return;
                                }
                                try_receive();
                            });
}

void async_socket::complete(const boost::system::error_code& error, ::zmq::message_t& message) {
    auto handler = std::move(m_handler);
    m_handler = nullptr;
    if (handler)
        handler(error, message);
}

}  // namespace kel::libs::core::zmq
