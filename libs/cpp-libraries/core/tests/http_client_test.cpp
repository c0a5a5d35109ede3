#include "core/core.h"
#include "core/events_loop.h"
#include "core/exception.h"
#include "core/http/client.h"
#include "core/logger.h"

#include "loopback_http/http_server.h"
#include "support/run_until.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <boost/optional/optional_io.hpp>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kel::libs::core::events_loop;
using kel::libs::core::timer;
using kel::libs::core::http::client;
using kel::libs::core::http::method;
using kel::libs::core::http::result;
using kel::libs::loopback_http::http_server;

class http_client_test : public ::testing::Test {
protected:
    http_client_test()
        : m_logger("quorvane", "test"), m_core(kel::libs::core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("test")),
          m_client(m_loop->create_http_client(m_server.address(), std::chrono::seconds(5))) {}

    result get(const std::string& path) { return m_client->perform_request(method::get, path); }

    void use_client(const std::string& address, std::chrono::seconds timeout, int threads = 10) {
        m_client = m_loop->create_http_client(address, timeout, {}, threads);
    }

    // Starts an asynchronous GET whose result is recorded.
    client::handle_ptr get_async(const std::string& path) {
        return m_client->perform_async_request(method::get, path,
                                               [this](result r) { m_results.push_back(std::move(r)); });
    }

    void run_until(const std::function<bool()>& done) {
        ASSERT_TRUE(kel::test::run_until(*m_loop, done)) << "timed out";
    }

    http_server m_server;
    kel::libs::core::logger m_logger;
    kel::libs::core::core::ptr m_core;
    events_loop::ptr m_loop;
    client::ptr m_client;
    std::vector<result> m_results;
};

TEST_F(http_client_test, success_carries_the_body_as_data) {
    m_server.serve("/api/private/zones/", R"({"zones":[]})");
    const auto r = get("/api/private/zones/");
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.status_code(), 200);
    EXPECT_EQ(r.data(), std::string(R"({"zones":[]})"));
    EXPECT_FALSE(r.error());
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].user_agent, "quorvane");
}

TEST_F(http_client_test, unreachable_server_gives_a_transport_error) {
    use_client("http://127.0.0.1:" + std::to_string(kel::test::free_port()), 5s);
    const auto r = get("/");
    EXPECT_FALSE(r.status_code());
    EXPECT_FALSE(r.data());
    ASSERT_TRUE(r.error());
    EXPECT_EQ(r.error()->rfind("curl_easy_perform failed:", 0), 0u) << *r.error();
}

TEST_F(http_client_test, slow_answer_runs_into_the_timeout) {
    http_server::response slow;
    slow.body = "late";
    slow.delay = 3s;
    m_server.serve("/slow", slow);
    use_client(m_server.address(), 1s);
    const auto r = get("/slow");
    EXPECT_FALSE(r.status_code());
    EXPECT_EQ(r.error(), std::string("curl_easy_perform failed:Timeout was reached"));
}

TEST_F(http_client_test, dropped_handle_never_calls_back) {
    // One worker: the transfers run one after the other, so the second
    // result arrives after the first one has been handed over.
    use_client(m_server.address(), 5s, 1);
    m_server.serve("/a", "A");
    get_async("/dropped");
    const auto kept = get_async("/a");
    run_until([&] { return !m_results.empty(); });
    ASSERT_EQ(m_results.size(), 1u);
    EXPECT_EQ(m_results[0].data(), std::string("A"));
    EXPECT_EQ(m_server.count("/dropped"), 1u);
}

// With no timeout (0) a silent server would hold a transfer for good; an
// abort ends the one in progress within a second and refuses later ones.
TEST_F(http_client_test, an_abort_ends_a_transfer_to_a_silent_server_promptly) {
    use_client(m_server.address(), 0s);
    m_server.serve("/silent", {200, "late", {}, 60s});
    result in_progress("not done");
    std::thread blocked([&] { in_progress = get("/silent"); });
    ASSERT_TRUE(kel::test::wait_until([&] { return m_server.count("/silent") == 1; }, 10s));
    const auto aborted_at = std::chrono::steady_clock::now();
    m_client->abort_transfers();
    blocked.join();
    EXPECT_LT(std::chrono::steady_clock::now() - aborted_at, 1500ms);
    EXPECT_EQ(in_progress.error(), std::string("aborted"));
    EXPECT_EQ(get("/silent").error(), std::string("aborted"));
    EXPECT_EQ(m_server.count("/silent"), 1u) << "a later transfer is not even sent";
}

}  // namespace
