// The Redis password never appears in a log line nor in an error text: not
// when it is wrong, not when it is right and the connection has to be
// re-established with it. Read from the service's standard error in debug
// mode, where every line of its logger goes.
#include "e2e/service_fixture.h"
#include "support/redis_server.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::chrono_literals;

const std::string right_password = "Rt-pw-7f3a9c1e55";
const std::string wrong_password = "Wr-pw-0b8d2e64aa";

bool shows_a_password(const std::string& text) {
    return text.find(right_password) != std::string::npos || text.find(wrong_password) != std::string::npos;
}

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

}  // namespace
