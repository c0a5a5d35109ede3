#pragma once

#include "core/events_loop.h"
#include "core/http/client.h"

#include <string>

namespace kel::fuzz {

// An HTTP client that answers every request at once with status 200 and the
// same body, whatever the path: the server's answer under test stands for
// every list the service asks for. Asynchronous results arrive on the
// events loop, as the real client's do.
class canned_http_client : public libs::core::http::client {
public:
    canned_http_client(libs::core::events_loop& loop, std::string body);

    libs::core::http::result perform_request(libs::core::http::method m, boost::string_view path) override;
    libs::core::http::result perform_request(libs::core::http::method m, boost::string_view path,
                                             boost::string_view body) override;
    handle_ptr perform_async_request(libs::core::http::method m, std::string path,
                                     libs::core::async_operation_handle<libs::core::http::result>::callback cb) override;
    handle_ptr perform_async_request(libs::core::http::method m, std::string path, std::string body,
                                     libs::core::async_operation_handle<libs::core::http::result>::callback cb) override;
    handle_ptr perform_async_request(libs::core::http::method m, std::string path, std::string body) override;
    void abort_transfers() override {}

    std::size_t requests() const { return m_requests; }
    const std::string& body() const { return m_body; }

private:
    libs::core::events_loop& m_loop;
    std::string m_body;
    std::size_t m_requests = 0;
};

}  // namespace kel::fuzz
