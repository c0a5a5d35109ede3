// The Redis password never appears in a log line nor in an error text: not
// when it is wrong, not when it is right and the connection has to be
// re-established with it. Read from the service's standard error in debug
// mode (the real binary) and from the logger's debug stream (the
// application in-process).
#include "application.h"
#include "config.h"
#include "e2e/service_fixture.h"
#include "support/http_server.h"
#include "support/redis_server.h"
#include "support/temp_dir.h"
#include "support/wait.h"

#include "core/core.h"
#include "core/logger.h"

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::string right_password = "Rt-pw-7f3a9c1e55";
const std::string wrong_password = "Wr-pw-0b8d2e64aa";

bool shows_a_password(const std::string& text) {
    return text.find(right_password) != std::string::npos || text.find(wrong_password) != std::string::npos;
}

// --- the binary, its standard error in debug mode -------------------------------------

class secrets_in_process_output : public ::testing::Test, public kel::test::service_fixture {
protected:
    secrets_in_process_output() { m_redis = std::make_unique<kel::test::redis_server>(right_password); }
};

TEST_F(secrets_in_process_output, a_wrong_password_is_reported_without_either_password) {
    add_tag("tagA");
    serve_site();
    m_redis_password = wrong_password;
    launch(true);
    ASSERT_TRUE(wait_log("AUTH")) << log();
    // It keeps retrying: a second report comes, as bare as the first.
    ASSERT_TRUE(kel::test::wait_until([&] {
        const auto text = log();
        return text.find("AUTH", text.find("AUTH") + 1) != std::string::npos;
    }));
    EXPECT_EQ(stop(), 0) << log();
    EXPECT_FALSE(shows_a_password(log())) << log();
}

TEST_F(secrets_in_process_output, the_right_password_is_not_shown_when_redis_goes_away_and_comes_back) {
    add_room("room", 0, 0, 10000, 10000);
    add_tag("tagA");
    serve_site();
    m_redis_password = right_password;
    start(true);
    position("tagA", 5000, 5000);
    position("tagA", 5010, 5000);
    ASSERT_EQ(summary(next_event()), "enter tagA room") << log();

    // Down: the watchdog and the writes of the next decisions fail and
    // try to reconnect with the password.
    m_redis->kill();
    ASSERT_TRUE(wait_log("Redis does not answer")) << log();
    position("tagA", 30000, 5000);
    position("tagA", 30010, 5000);
    ASSERT_TRUE(wait_log("reconnect failed")) << log();
    // Back, empty: the connection is made again with the password.
    m_redis->restart();
    ASSERT_TRUE(wait_log("Redis answers again")) << log();
    EXPECT_EQ(stop(), 0) << log();
    EXPECT_FALSE(shows_a_password(log())) << log();
}

// --- the application in-process, the logger's debug stream -------------------------

class secrets_in_debug_stream : public ::testing::Test {
protected:
    secrets_in_debug_stream() : m_core(kel::libs::core::core::create(m_logger)) {
        m_log.set(zmq::sockopt::linger, 0);
        m_log.bind("tcp://127.0.0.1:*");
        m_logger.connect(m_log.get(zmq::sockopt::last_endpoint));
        m_logger.set_debug(true);
        m_http.serve("/api/private/zones/", R"({"zones":[]})");
        m_http.serve("/api/private/track_obj/", R"({"trackableObjects":[]})");
        m_http.serve("/api/private/sublocations/", R"({"sublocations":[]})");
        m_http.serve("/api/private/nodes/", R"({"nodes":[]})");
    }

    kel::config config_with(const std::string& password) const {
        std::istringstream text(R"({
  "proxy": {"address": "127.0.0.1", "output_port": )" + std::to_string(kel::test::free_port()) +
                                R"(, "input_port": )" + std::to_string(kel::test::free_port()) + R"(},
  "server": {"protocol": "http", "address": "127.0.0.1:)" + std::to_string(m_http.port()) +
                                R"(", "timeout": 5},
  "redis": {"host": "127.0.0.1", "port": )" + std::to_string(m_redis.port()) +
                                R"(, "password": ")" + password + R"("},
  "system": {"pidfile": ")" + m_dir.file("quorvane.pid") + R"("},
  "ignored_zone_types": [],
  "debug": {"debug_output": true}
})");
        return kel::config(text);
    }

    // Reads the lines that have come; waits up to `timeout` for one that
    // contains `text`.
    bool wait_line(const std::string& text, std::chrono::milliseconds timeout = 20s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (const auto& line : m_lines) {
                if (line.find(text) != std::string::npos)
                    return true;
            }
            if (std::chrono::steady_clock::now() >= until)
                return false;
            m_log.set(zmq::sockopt::rcvtimeo, 100);
            zmq::message_t message;
            if (m_log.recv(message))
                m_lines.push_back(message.to_string());
        }
    }

    // Runs the loop until `done` holds, reading log lines meanwhile; false
    // after 20 s.
    bool run_until(kel::libs::core::events_loop& loop, const std::function<bool()>& done) {
        auto check = loop.create_periodic_timer(
            10ms,
            "check",
            [&](auto) {
                zmq::message_t message;
                while (m_log.recv(message, zmq::recv_flags::dontwait))
                    m_lines.push_back(message.to_string());
                if (done())
                    loop.stop();
            },
            KEL_SOURCE_LOCATION());
        auto limit = loop.create_timer(kel::libs::core::timer::time_point(std::chrono::steady_clock::now() + 20s),
                                       "limit", [&](auto) { loop.stop(); }, KEL_SOURCE_LOCATION());
        loop.get_io_context().restart();
        loop.run();
        return done();
    }

    bool logged(const std::string& text) const {
        for (const auto& line : m_lines) {
            if (line.find(text) != std::string::npos)
                return true;
        }
        return false;
    }

    std::string all_lines() const {
        std::string text;
        for (const auto& line : m_lines)
            text += line + "\n";
        return text;
    }

    kel::test::temp_dir m_dir;
    kel::test::redis_server m_redis{right_password};
    kel::test::http_server m_http;
    zmq::context_t m_zmq;
    zmq::socket_t m_log{m_zmq, zmq::socket_type::pull};
    kel::libs::core::logger m_logger{"quorvane", "secrets"};
    kel::libs::core::core::ptr m_core;
    std::vector<std::string> m_lines;
};

TEST_F(secrets_in_debug_stream, a_wrong_password_is_reported_without_either_password) {
    const auto config = config_with(wrong_password);
    auto loop = m_core->create_events_loop("main loop");
    // The application retries Redis until a signal ends its start. Another
    // thread reads the debug stream meanwhile and, once the failure has
    // been reported twice, sends the signal its handler waits for.
    std::atomic<bool> constructed{false};
    std::thread stopper([&] {
        std::size_t reports = 0;
        const auto until = std::chrono::steady_clock::now() + 30s;
        m_log.set(zmq::sockopt::rcvtimeo, 100);
        while (reports < 2 && !constructed && std::chrono::steady_clock::now() < until) {
            zmq::message_t message;
            if (!m_log.recv(message))
                continue;
            m_lines.push_back(message.to_string());
            if (m_lines.back().find("AUTH") != std::string::npos)
                ++reports;
        }
        if (!constructed)
            ::kill(::getpid(), SIGTERM);
    });
    bool interrupted = false;
    try {
        kel::application service(*loop, config, m_logger);
    } catch (const kel::start_interrupted&) {
        interrupted = true;
        m_logger.log_exception();
    } catch (...) {
        m_logger.log_exception();
    }
    constructed = true;
    stopper.join();
    EXPECT_TRUE(interrupted);
    EXPECT_TRUE(wait_line("Interrupted", 5s)) << all_lines();
    EXPECT_TRUE(logged("AUTH")) << all_lines();
    EXPECT_FALSE(shows_a_password(all_lines())) << all_lines();
}

TEST_F(secrets_in_debug_stream, the_right_password_is_not_shown_when_redis_goes_away_and_comes_back) {
    const auto config = config_with(right_password);
    auto loop = m_core->create_events_loop("main loop");
    {
        kel::application service(*loop, config, m_logger);
        ASSERT_TRUE(run_until(*loop, [&] { return logged("init done"); })) << all_lines();
        m_redis.kill();
        ASSERT_TRUE(run_until(*loop, [&] { return logged("Redis does not answer"); })) << all_lines();
        m_redis.restart();
        ASSERT_TRUE(run_until(*loop, [&] { return logged("Redis answers again"); })) << all_lines();
    }
    EXPECT_TRUE(logged("Connection refused")) << all_lines();
    EXPECT_FALSE(shows_a_password(all_lines())) << all_lines();
}

}  // namespace
