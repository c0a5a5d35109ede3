#pragma once

#include "shared_curl_data.h"

#include "core/core.h"
#include "core/events_loop.h"
#include "core/http/client.h"
#include "core/impl/async_operation_handle_impl.h"
#include "core/logger.h"

#include <boost/asio/thread_pool.hpp>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <vector>

namespace kel::libs::core::http {

// The libcurl client. Asynchronous transfers run on a worker events loop
// served by a pool of threads; their results are posted to the main loop.
// The core, the main loop and the logger must outlive the client.
class client_impl final : public client {
public:
    client_impl(core& core, events_loop& main_events_loop, const component_logger& logger, std::string address,
                std::chrono::seconds timeout, const std::vector<method>& disabled_methods, int threads);
    // Waits for the transfers in progress; queued ones are dropped.
    ~client_impl() override;

    result perform_request(method m, boost::string_view path) override;
    result perform_request(method m, boost::string_view path, boost::string_view body) override;
    handle_ptr perform_async_request(method m, std::string path, async_operation_handle<result>::callback cb) override;
    handle_ptr perform_async_request(method m, std::string path, std::string body,
                                     async_operation_handle<result>::callback cb) override;
    handle_ptr perform_async_request(method m, std::string path, std::string body) override;
    void abort_transfers() override { m_aborted = true; }

private:
    using handle_impl = async_operation_handle_impl<result>;

    // Thread-safe: one blocking transfer on the calling thread.
    result perform_request_impl(method m, boost::string_view path, boost::string_view body) const;
    result perform_transfer(method m, boost::string_view path, boost::string_view body) const;
    void start_transfer(method m, const std::string& path, const std::string& body,
                        std::weak_ptr<handle_impl> handle);

    events_loop& m_main_events_loop;
    const component_logger& m_logger;
    const std::string m_address;
    const std::chrono::seconds m_timeout;
    const std::set<method> m_disabled_methods;
    shared_curl_data m_shared_curl_data;
    events_loop::ptr m_worker_events_loop;
    events_loop::work::ptr m_worker_events_loop_work;
    boost::asio::thread_pool m_worker_thread_pool;
    // Read by libcurl's progress callback of every transfer.
    std::atomic<bool> m_aborted{false};
};

}  // namespace kel::libs::core::http
