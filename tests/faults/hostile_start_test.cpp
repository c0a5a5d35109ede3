// Starts in a hostile environment, with the real binary, a real Redis and
// the site's server on loopback: a stored record that cannot be read, a
// layout version that is no number, a Redis that refuses writes, a site
// that does not answer. None of them may stop a start that can go on, and
// none may keep a stop from being prompt.
#include "e2e/service_fixture.h"

#include "support/wait.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;

const std::string records = "quorvane:trackable_objects_in_zones:";

class hostile_start : public ::testing::Test, public kel::test::service_fixture {
protected:
    hostile_start() {
        add_room("room", 0, 0, 10000, 10000);
        add_tag("tagA");
        serve_site();
    }

    // The service runs its loop: a position gives its ENTER.
    void expect_running() {
        position("tagA", 5000, 5000);
        position("tagA", 5010, 5000);
        EXPECT_EQ(summary(next_event(20s)), "enter tagA room") << log();
    }

    // SIGTERM ends the process with status 0 within `bound`.
    void expect_prompt_stop(std::chrono::milliseconds bound) {
        const auto signalled = std::chrono::steady_clock::now();
        m_service->send_signal(SIGTERM);
        const auto status = m_service->wait_exit(20s);
        ASSERT_TRUE(status) << "no exit after SIGTERM\n" << log();
        EXPECT_EQ(*status, 0) << log();
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, bound) << log();
    }
};

TEST_F(hostile_start, a_layout_version_that_is_no_number_refuses_to_start_naming_key_and_value) {
    m_redis->cli({"SET", "quorvane:version", "abc"});
    launch();
    const auto status = m_service->wait_exit(20s);
    ASSERT_TRUE(status) << log();
    EXPECT_EQ(*status, 1);
    EXPECT_NE(log().find("Unknown layout version in quorvane:version: \"abc\""), std::string::npos) << log();
}

// Full under noeviction: every write is refused. The start waits, saying
// why, and goes on once Redis accepts writes again.
TEST_F(hostile_start, a_full_redis_at_start_is_waited_for_and_the_start_goes_on) {
    m_redis->cli({"CONFIG", "SET", "maxmemory-policy", "noeviction"});
    m_redis->cli({"CONFIG", "SET", "maxmemory", "1"});
    start();
    ASSERT_TRUE(wait_log("Redis refused the restore of the state, retrying every second: Command: SET "
                         "quorvane:version 1, error: OOM"))
        << log();
    m_redis->cli({"CONFIG", "SET", "maxmemory", "0"});
    expect_running();
    EXPECT_EQ(m_redis->cli_lines({"GET", "quorvane:version"}), std::vector<std::string>{"1"});
}

TEST_F(hostile_start, a_full_redis_at_start_does_not_delay_a_stop) {
    m_redis->cli({"CONFIG", "SET", "maxmemory-policy", "noeviction"});
    m_redis->cli({"CONFIG", "SET", "maxmemory", "1"});
    start();
    ASSERT_TRUE(wait_log("Redis refused the restore")) << log();
    expect_prompt_stop(2500ms);
}

// A site that answers after a minute, with a timeout of a minute or with
// none at all ("server.timeout" 0): the stop does not wait for it.
TEST_F(hostile_start, a_stop_during_a_start_up_request_is_prompt_whatever_the_timeout) {
    for (const int timeout : {60, 0}) {
        m_http.serve("/api/private/track_obj/", {200, "{}", {}, 60s});
        m_server_timeout = timeout;
        const auto before = m_http.count("/api/private/track_obj/");
        launch();
        ASSERT_TRUE(
            kel::test::wait_until([&] { return m_http.count("/api/private/track_obj/") > before; }, 20s))
            << log();
        expect_prompt_stop(1500ms);
    }
}

}  // namespace
