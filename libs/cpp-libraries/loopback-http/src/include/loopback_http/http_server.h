#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kel::libs::loopback_http {

// A real HTTP/1.1 server on 127.0.0.1 and a port of its own, running on its
// own thread from construction to destruction. It answers each path with a
// canned response that its owner may change at any time (every setter is
// thread-safe), and records the requests it got. A path without a response
// gets 404 with the body "not found".
class http_server {
public:
    struct response {
        unsigned status = 200;
        std::string body;
        // Extra header fields, e.g. {"Location", "/elsewhere"}.
        std::vector<std::pair<std::string, std::string>> headers;
        // How long the server waits before answering.
        std::chrono::milliseconds delay{0};
    };

    struct request {
        std::string method;
        std::string target;
        std::string user_agent;
        std::string body;
    };

    http_server();
    // Listens on `port` instead of a port of its own (0 picks one); throws
    // boost::system::system_error when the port is taken.
    explicit http_server(int port);
    ~http_server();
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:<port>", the base address for a client.
    std::string address() const;

    void serve(const std::string& target, response answer);
    void serve(const std::string& target, std::string body, unsigned status = 200);
    // The next `count` requests of `target` get `first`, later ones `then`.
    void serve_after(const std::string& target, std::size_t count, response first, response then);
    // While on, every connection is closed as soon as it is accepted.
    void refuse_connections(bool on);

    std::vector<request> requests() const;
    std::size_t count(const std::string& target) const;

private:
    class session;
    struct route {
        std::size_t first_count = 0;
        response first;
        response then;
    };

    void accept();
    response answer(request got);

    struct io;
    std::unique_ptr<io> m_io;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::map<std::string, route> m_routes;
    std::vector<request> m_requests;
    bool m_refusing = false;
    std::thread m_thread;
};

}  // namespace kel::libs::loopback_http
