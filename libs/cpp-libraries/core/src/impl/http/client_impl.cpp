#include "client_impl.h"

#include "core/constants.h"
#include "core/exception.h"
#include "core/scope_guard.h"

#include <boost/asio/post.hpp>

#include <curl/curl.h>

namespace kel::libs::core::http {

namespace {

constexpr long connect_timeout_seconds = 10;

size_t append_to_string(char* data, size_t size, size_t count, void* buffer) {
    static_cast<std::string*>(buffer)->append(data, size * count);
    return size * count;
}

// libcurl calls it several times a second while a transfer waits, whether
// or not bytes move; non-zero ends the transfer.
int abort_when_told(void* aborted, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(aborted)->load() ? 1 : 0;
}

}  // namespace

client_impl::client_impl(core& core, events_loop& main_events_loop, const component_logger& logger,
                         std::string address, std::chrono::seconds timeout,
                         const std::vector<method>& disabled_methods, int threads)
    : m_main_events_loop(main_events_loop),
      m_logger(logger),
      m_address(std::move(address)),
      m_timeout(timeout),
      m_disabled_methods(disabled_methods.begin(), disabled_methods.end()),
      m_worker_events_loop(core.create_events_loop("http_client::worker")),
      m_worker_events_loop_work(m_worker_events_loop->create_work()),
      m_worker_thread_pool(static_cast<std::size_t>(threads)) {
    for (int i = 0; i < threads; ++i)
        boost::asio::post(m_worker_thread_pool, [loop = m_worker_events_loop.get()] { loop->run(); });
}

client_impl::~client_impl() {
    m_worker_events_loop_work.reset();
    m_worker_events_loop->stop();
    m_worker_thread_pool.join();
}

result client_impl::perform_request(method m, boost::string_view path) {
    return perform_request_impl(m, path, {});
}

result client_impl::perform_request(method m, boost::string_view path, boost::string_view body) {
    return perform_request_impl(m, path, body);
}

client::handle_ptr client_impl::perform_async_request(method m, std::string path,
                                                      async_operation_handle<result>::callback cb) {
    return perform_async_request(m, std::move(path), std::string(), std::move(cb));
}

client::handle_ptr client_impl::perform_async_request(method m, std::string path, std::string body,
                                                      async_operation_handle<result>::callback cb) {
    auto handle = perform_async_request(m, std::move(path), std::move(body));
    handle->set_callback(std::move(cb));
    return handle;
}

client::handle_ptr client_impl::perform_async_request(method m, std::string path, std::string body) {
    auto handle = handle_impl::create(m_main_events_loop,
                                      [this, m, path = std::move(path), body = std::move(body)](
                                          std::weak_ptr<handle_impl> weak) { start_transfer(m, path, body, weak); });
    handle->start();
    return handle;
}

void client_impl::start_transfer(method m, const std::string& path, const std::string& body,
                                 std::weak_ptr<handle_impl> handle) {
    m_worker_events_loop->post(
        [this, m, path, body, handle = std::move(handle)] {
            auto r = perform_request_impl(m, path, body);
            // Handed over on the main loop, so that the handle (and what its
            // callback holds) is never released on a worker thread.
            m_main_events_loop.post(
                [handle, r = std::move(r)]() mutable {
                    if (const auto self = handle.lock())
                        self->return_result(std::move(r));
                },
                KEL_SOURCE_LOCATION());
        },
        KEL_SOURCE_LOCATION());
}

result client_impl::perform_request_impl(method m, boost::string_view path, boost::string_view body) const {
    if (m_disabled_methods.count(m) != 0)
        return result(std::string(), 200);
    if (m_aborted)
        return result(std::string("aborted"));
    return perform_transfer(m, path, body);
}

result client_impl::perform_transfer(method m, boost::string_view path, boost::string_view body) const {
    CURL* curl_handle = curl_easy_init();
    KEL_CHECK(curl_handle != NULL);
    const auto handle_guard = execute_on_scope_exit([curl_handle] { curl_easy_cleanup(curl_handle); });
    curl_slist* headers = curl_slist_append(nullptr, "content-type: application/json");
    const auto headers_guard = execute_on_scope_exit([headers] { curl_slist_free_all(headers); });

    const std::string method_text = to_string(m);
    const std::string url = m_address + path.to_string();
    std::string received;
    curl_easy_setopt(curl_handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    // Never NULL: libcurl would then read the body from standard input.
    curl_easy_setopt(curl_handle, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
    curl_easy_setopt(curl_handle, CURLOPT_USERAGENT, constants::project_name.c_str());
    curl_easy_setopt(curl_handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl_handle, CURLOPT_CUSTOMREQUEST, method_text.c_str());
    curl_easy_setopt(curl_handle, CURLOPT_WRITEFUNCTION, &append_to_string);
    curl_easy_setopt(curl_handle, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(curl_handle, CURLOPT_TIMEOUT, static_cast<long>(m_timeout.count()));
    curl_easy_setopt(curl_handle, CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
    curl_easy_setopt(curl_handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl_handle, CURLOPT_SHARE, m_shared_curl_data.get());
    // Transfers run on several threads: libcurl must not use signals for its
    // timeouts there.
    curl_easy_setopt(curl_handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_handle, CURLOPT_XFERINFOFUNCTION, &abort_when_told);
    curl_easy_setopt(curl_handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&m_aborted));
    curl_easy_setopt(curl_handle, CURLOPT_NOPROGRESS, 0L);

    m_logger.debug("%1% %2%") % method_text % url;
    const CURLcode code = curl_easy_perform(curl_handle);
    if (code == CURLE_ABORTED_BY_CALLBACK)
        return result(std::string("aborted"));
    if (code != CURLE_OK)
        return result(std::string("curl_easy_perform failed:") + curl_easy_strerror(code));
    long response_code = 0;
    if (curl_easy_getinfo(curl_handle, CURLINFO_RESPONSE_CODE, &response_code) != CURLE_OK || response_code == 0)
        response_code = 200;
    return result(std::move(received), static_cast<int>(response_code));
}

}  // namespace kel::libs::core::http
