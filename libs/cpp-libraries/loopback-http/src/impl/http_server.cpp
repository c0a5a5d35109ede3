#include "loopback_http/http_server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace kel::libs::loopback_http {

namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;

struct http_server::io {
    boost::asio::io_context context;
    tcp::acceptor acceptor{context};
};

// One connection: read a request, answer it (after the route's delay), and
// go on while the client keeps the connection alive. Handlers own the session
// through shared pointers; stopping the io_context drops them.
class http_server::session : public std::enable_shared_from_this<session> {
public:
    session(http_server& server, tcp::socket socket)
        : m_server(server), m_socket(std::move(socket)), m_timer(m_socket.get_executor()) {}

    void read() {
        m_request = {};
        http::async_read(m_socket, m_buffer, m_request,
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             if (!error)
                                 self->respond();
                         });
    }

private:
    void respond() {
        const std::string user_agent(m_request[http::field::user_agent]);
        const response answer = m_server.answer({std::string(m_request.method_string()),
                                                 std::string(m_request.target()), user_agent, m_request.body()});
        m_response = {static_cast<http::status>(answer.status), m_request.version()};
        m_response.set(http::field::content_type, "application/json");
        for (const auto& header : answer.headers)
            m_response.set(header.first, header.second);
        m_response.body() = answer.body;
        m_response.keep_alive(m_request.keep_alive());
        m_response.prepare_payload();
        m_timer.expires_after(answer.delay);
        m_timer.async_wait([self = shared_from_this()](beast::error_code) { self->write(); });
    }

    void write() {
        http::async_write(m_socket, m_response, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error)
                return;
            if (self->m_response.keep_alive())
                self->read();
            else
                self->m_socket.shutdown(tcp::socket::shutdown_send, error);
        });
    }

    http_server& m_server;
    tcp::socket m_socket;
    boost::asio::steady_timer m_timer;
    beast::flat_buffer m_buffer;
    http::request<http::string_body> m_request;
    http::response<http::string_body> m_response;
};

http_server::http_server() : http_server(0) {}

http_server::http_server(int port) : m_io(std::make_unique<io>()) {
    const tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port));
    m_io->acceptor.open(endpoint.protocol());
    m_io->acceptor.set_option(tcp::acceptor::reuse_address(true));
    m_io->acceptor.bind(endpoint);
    m_io->acceptor.listen();
    m_port = m_io->acceptor.local_endpoint().port();
    accept();
    m_thread = std::thread([this] { m_io->context.run(); });
}

http_server::~http_server() {
    m_io->context.stop();
    m_thread.join();
}

std::string http_server::address() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

void http_server::serve(const std::string& target, response answer) {
    serve_after(target, 0, answer, answer);
}

void http_server::serve(const std::string& target, std::string body, unsigned status) {
    response answer;
    answer.status = status;
    answer.body = std::move(body);
    serve(target, std::move(answer));
}

void http_server::serve_after(const std::string& target, std::size_t count, response first, response then) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_routes[target] = {count, std::move(first), std::move(then)};
}

void http_server::refuse_connections(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refusing = on;
}

std::vector<http_server::request> http_server::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::size_t http_server::count(const std::string& target) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::size_t n = 0;
    for (const auto& r : m_requests)
        n += r.target == target ? 1 : 0;
    return n;
}

void http_server::accept() {
    m_io->acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (error)
            return;
        bool refusing = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            refusing = m_refusing;
        }
        if (refusing)
            socket.close(error);
        else
            std::make_shared<session>(*this, std::move(socket))->read();
        accept();
    });
}

http_server::response http_server::answer(request got) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto target = got.target;
    m_requests.push_back(std::move(got));
    const auto found = m_routes.find(target);
    if (found == m_routes.end()) {
        response missing;
        missing.status = 404;
        missing.body = "not found";
        return missing;
    }
    route& r = found->second;
    if (r.first_count == 0)
        return r.then;
    --r.first_count;
    return r.first;
}

}  // namespace kel::libs::loopback_http
