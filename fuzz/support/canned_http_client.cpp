#include "support/canned_http_client.h"

#include "core/impl/async_operation_handle_impl.h"
#include "core/source_location.h"

#include <memory>
#include <utility>

namespace kel::fuzz {

namespace http = libs::core::http;

canned_http_client::canned_http_client(libs::core::events_loop& loop, std::string body)
    : m_loop(loop), m_body(std::move(body)) {}

http::result canned_http_client::perform_request(http::method, boost::string_view) {
    ++m_requests;
    return http::result(m_body, 200);
}

http::result canned_http_client::perform_request(http::method m, boost::string_view path, boost::string_view) {
    return perform_request(m, path);
}

http::client::handle_ptr canned_http_client::perform_async_request(
    http::method m, std::string path, libs::core::async_operation_handle<http::result>::callback cb) {
    return perform_async_request(m, std::move(path), std::string(), std::move(cb));
}

http::client::handle_ptr canned_http_client::perform_async_request(
    http::method m, std::string path, std::string body, libs::core::async_operation_handle<http::result>::callback cb) {
    auto handle = perform_async_request(m, std::move(path), std::move(body));
    handle->set_callback(std::move(cb));
    return handle;
}

// The answer is posted, never handed over inside the call, like the real
// client's transfers that finish on a worker thread.
http::client::handle_ptr canned_http_client::perform_async_request(http::method, std::string, std::string) {
    using handle_impl = libs::core::async_operation_handle_impl<http::result>;
    ++m_requests;
    auto handle = handle_impl::create(m_loop, [this](std::weak_ptr<handle_impl> weak) {
        m_loop.post(
            [weak, body = m_body]() mutable {
                if (const auto self = weak.lock())
                    self->return_result(http::result(std::move(body), 200));
            },
            KEL_SOURCE_LOCATION());
    });
    handle->start();
    return handle;
}

}  // namespace kel::fuzz
