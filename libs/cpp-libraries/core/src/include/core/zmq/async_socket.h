#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/system/error_code.hpp>
#include <boost/utility/string_view.hpp>

#include <zmq.hpp>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace kel::libs::core::zmq {

// A ZeroMQ socket driven by an asio io_context: receives complete on the
// loop thread, sends never block. The io_context must outlive the socket.
//
// ZeroMQ signals readiness through ZMQ_FD, which is edge-triggered and only
// says "something may have changed"; the socket therefore always drains with
// non-blocking calls and reads ZMQ_EVENTS before it waits on the descriptor
// again, or a message could sit in the socket while the descriptor stays quiet.
class async_socket {
public:
    using receive_handler = std::function<void(const boost::system::error_code&, ::zmq::message_t&)>;

    // Each socket gets its own ZeroMQ context unless one is given; a given
    // context must outlive the socket.
    async_socket(boost::asio::io_context& io_context, ::zmq::socket_type type);
    async_socket(boost::asio::io_context& io_context, ::zmq::context_t& context, ::zmq::socket_type type);
    ~async_socket();
    async_socket(const async_socket&) = delete;
    async_socket& operator=(const async_socket&) = delete;

    // Throw boost::system::system_error carrying the ZeroMQ error code.
    void connect(const std::string& address);
    void bind(const std::string& address);
    void subscribe(boost::string_view topic);
    std::string last_endpoint() const;

    // Sends one single-part message without waiting, under the socket's own
    // mutex. Returns the error (EAGAIN when the queue is full) instead of
    // throwing.
    boost::system::error_code send(boost::string_view bytes);

    // Receives one message; the handler runs later on the loop thread, never
    // inside this call, with the message it may keep or move. Only one
    // receive may be outstanding. When the socket is destroyed or cancel()
    // is called, a pending handler is called with operation_aborted unless
    // the socket is already gone.
    void async_receive(receive_handler handler);
    // Receives one message already waiting, without blocking: false when
    // there is none. Meant for draining after a completed async_receive;
    // throws boost::system::system_error on a socket error.
    bool try_receive_now(::zmq::message_t& message);
    void cancel();
    // The next `count` receives complete with `error` instead of reading,
    // as those of a socket that fails on every call would: a seam for the
    // tests of the callers' error paths.
    void inject_receive_errors(const boost::system::error_code& error, std::size_t count);

    ::zmq::socket_t& native() { return m_socket; }

private:
    void try_receive();
    void wait_readable();
    void complete(const boost::system::error_code& error, ::zmq::message_t& message);

    boost::asio::io_context& m_io_context;
    std::unique_ptr<::zmq::context_t> m_own_context;
    ::zmq::socket_t m_socket;
    boost::asio::posix::stream_descriptor m_descriptor;
    std::mutex m_mutex;
    receive_handler m_handler;
    bool m_waiting = false;
    boost::system::error_code m_injected_error;
    std::size_t m_injected_errors = 0;
    // Handlers posted to the io_context hold this weakly: a socket destroyed
    // while they are queued is never touched.
    std::shared_ptr<bool> m_alive;
};

}  // namespace kel::libs::core::zmq
