#include "redis/redis_context.h"

#include "support/redis_server.h"

#include "core/exception.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using kel::libs::core::exception;

const std::string password = "not-the-password-42";
const std::string wrong_type = ", error: WRONGTYPE Operation against a key holding the wrong kind of value";

// The message of the kel exception `action` throws; fails the test when it
// throws nothing.
std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const exception& e) {
        return e.get_string_error();
    }
    ADD_FAILURE() << "no exception";
    return "";
}

::testing::AssertionResult starts_with(const std::string& text, const std::string& prefix) {
    if (text.rfind(prefix, 0) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text << "\" does not start with \"" << prefix << "\"";
}

class redis_client : public ::testing::Test {
protected:
    std::unique_ptr<kel::redis::context> connect(const std::string& secret = "") {
        return std::make_unique<kel::redis::context>("127.0.0.1", m_server->port(), 10, secret);
    }
    kel::redis::context& client() {
        if (!m_client)
            m_client = connect();
        return *m_client;
    }
    // client() is then connected to it with the password.
    void use_password_protected_server() {
        m_client.reset();
        m_server = std::make_unique<kel::test::redis_server>(password);
        m_client = connect(password);
    }
    std::string cli(const std::vector<std::string>& arguments) { return m_server->cli_line(arguments); }

    std::unique_ptr<kel::test::redis_server> m_server = std::make_unique<kel::test::redis_server>();
    std::unique_ptr<kel::redis::context> m_client;
};

// Every command runs, in order, before the first failure is thrown, and
// the replies stay in step: the next command reads its own.
TEST_F(redis_client, appended_commands_reach_redis_only_when_flushed_and_all_run_before_a_failure_is_thrown) {
    cli({"SET", "text", "a string"});
    client().append_command("SET %s %s", "key", "first");
    client().append_command_argv({"HSET", "text", "field", "value"});
    client().append_command_argv({"APPEND", "key", " second"});
    EXPECT_EQ(cli({"EXISTS", "key"}), "0");
    EXPECT_TRUE(
        starts_with(error_of([&] { client().flush_appended(); }), "Command: HSET text field value" + wrong_type));
    EXPECT_EQ(client().execute_command("GET %s", "key").to_string(), "first second");
    client().flush_appended();
}

TEST_F(redis_client, appended_commands_lost_with_the_connection_are_sent_once_more) {
    client().append_command("SET %s %s", "first", "1");
    client().flush_appended();
    cli({"CLIENT", "KILL", "TYPE", "normal"});
    client().append_command("SET %s %s", "key", "resent");
    client().append_command_argv({"APPEND", "key", " once"});
    client().flush_appended();
    EXPECT_EQ(client().get_reconnects(), 1u);
    EXPECT_EQ(cli({"GET", "key"}), "resent once");
}

TEST_F(redis_client, a_burst_sends_its_commands_in_one_round_trip_and_a_command_within_it_goes_after_them) {
    client().execute_command("PING");
    const auto trips = client().get_round_trips();
    client().begin_burst();
    client().append_command("SET %s %s", "key", "a");
    client().flush_appended();
    client().append_command_views({"APPEND", "key", "b"});
    client().flush_appended();
    EXPECT_EQ(cli({"EXISTS", "key"}), "0") << "held until the burst ends";
    client().append_command_views({"APPEND", "key", "c"});
    client().end_burst();
    EXPECT_EQ(client().get_round_trips(), trips + 1);
    EXPECT_EQ(client().get_commands(), 4u) << "the PING and the burst's three";
    EXPECT_EQ(cli({"GET", "key"}), "abc");

    client().begin_burst();
    client().append_command_views({"APPEND", "key", "d"});
    EXPECT_EQ(client().execute_command("GET %s", "key").to_string(), "abcd");
    client().end_burst();
}

// Commands formatted from views, one after another into one burst: every
// argument arrives whole, whatever its bytes and length.
TEST_F(redis_client, views_carry_empty_binary_and_long_arguments_whole) {
    const std::string binary("a\r\nb\0c$*", 9);
    const std::string long_value(100000, 'x');
    client().begin_burst();
    client().append_command_views({"HMSET", "h", "empty", "", "binary", binary, "long", long_value, "", "unnamed"});
    client().append_command_views({"SET", "k", long_value});
    client().append_command_views({"APPEND", "k", binary});
    client().end_burst();
    EXPECT_EQ(client().execute_command_views({"HGET", "h", "empty"}).to_string(), "");
    EXPECT_EQ(client().execute_command_views({"HGET", "h", "binary"}).to_string(), binary);
    EXPECT_EQ(client().execute_command_views({"HGET", "h", "long"}).to_string(), long_value);
    EXPECT_EQ(client().execute_command_views({"HGET", "h", ""}).to_string(), "unnamed");
    EXPECT_EQ(client().execute_command_views({"GET", "k"}).to_string(), long_value + binary);
}

TEST_F(redis_client, a_failure_within_a_burst_is_thrown_again_at_its_end) {
    cli({"SET", "text", "a string"});
    client().begin_burst();
    client().append_command_views({"HSET", "text", "field", "value"});
    EXPECT_THROW(client().execute_command("PING"), exception);
    EXPECT_TRUE(starts_with(error_of([&] { client().end_burst(); }), "Command: HSET text field value" + wrong_type));
}

// A burst in flight is answered before anything else goes, while the next
// burst appends behind it; what failed in it is thrown when it is settled.
TEST_F(redis_client, a_burst_in_flight_is_answered_before_any_later_exchange) {
    cli({"SET", "text", "a string"});
    client().begin_burst();
    client().append_command_views({"SET", "key", "a"});
    client().append_command_views({"HSET", "text", "field", "value"});
    client().send_burst();
    EXPECT_TRUE(client().has_burst_in_flight());
    client().begin_burst();
    client().append_command_views({"APPEND", "key", "b"});
    EXPECT_EQ(client().execute_command("GET %s", "key").to_string(), "ab") << "the in-flight SET, then the APPEND";
    client().append_command_views({"APPEND", "key", "c"});
    EXPECT_TRUE(starts_with(error_of([&] { client().settle_burst(); }), "Command: HSET text field value" + wrong_type));
    EXPECT_FALSE(client().has_burst_in_flight());
    client().end_burst();
    EXPECT_EQ(cli({"GET", "key"}), "abc");
}

TEST_F(redis_client, a_burst_in_flight_when_the_connection_breaks_is_sent_once_more) {
    client().execute_command("PING");
    client().begin_burst();
    client().append_command_views({"SET", "key", "resent"});
    cli({"CLIENT", "KILL", "TYPE", "normal"});
    client().send_burst();
    client().begin_burst();
    client().append_command_views({"APPEND", "key", " once"});
    client().settle_burst();
    client().end_burst();
    EXPECT_EQ(client().get_reconnects(), 1u);
    EXPECT_EQ(cli({"GET", "key"}), "resent once");
}

// Errors name the command with the arguments Redis got, whichever way it
// was sent, and cut a long one.
TEST_F(redis_client, an_error_reply_names_the_command_with_its_arguments) {
    client().execute_command("SET %s %s", "text", "value");
    EXPECT_EQ(error_of([&] { client().execute_command("HGET %s %s", "text", "field"); }),
              "Command: HGET text field" + wrong_type);
    EXPECT_EQ(error_of([&] { client().execute_command("HGET text %s", "a field"); }),
              "Command: HGET text a field" + wrong_type);
    EXPECT_EQ(error_of([&] { client().execute_command_argv({"HGET", "text", "field"}); }),
              "Command: HGET text field" + wrong_type);
    const std::string long_field(150, 'f');
    EXPECT_EQ(error_of([&] { client().execute_command_argv({"HGET", "text", long_field.c_str()}); }),
              "Command: HGET text " + long_field.substr(0, 100) + "...(150 bytes)" + wrong_type);
    EXPECT_THROW(client().execute_command("HGET %s %s", "text", "field"), kel::redis::reply_error);
}

TEST_F(redis_client, a_wrong_password_fails_without_showing_it) {
    use_password_protected_server();
    const auto error = error_of([&] { connect("wrong-secret-7"); });
    EXPECT_TRUE(starts_with(error, "Command: AUTH, error: WRONGPASS"));
    EXPECT_EQ(error.find("wrong-secret-7"), std::string::npos) << error;
}

// Executed or appended, a command without Redis fails naming itself and the
// failed reconnect, never the password, each time it is tried. Once Redis
// is back, the next command reconnects to the same database, and so does
// one after a restart of Redis, without failing.
TEST_F(redis_client, without_redis_a_command_fails_cleanly_and_once_redis_is_back_the_next_one_reconnects) {
    use_password_protected_server();
    const std::vector<std::function<void(const char*)>> ways_to_set_key = {
        [&](const char* value) { client().execute_command("SET %s %s", "key", value); },
        [&](const char* value) {
            client().append_command("SET %s %s", "key", value);
            client().flush_appended();
        },
    };
    std::uint64_t reconnects = 0;
    for (const auto& set_key : ways_to_set_key) {
        m_server->stop();
        const auto error = error_of([&] { set_key("lost"); });
        EXPECT_TRUE(starts_with(error, "Command: SET key lost, error: connection lost ("));
        EXPECT_NE(error.find("reconnect failed: Connection error: Connection refused"), std::string::npos) << error;
        EXPECT_EQ(error.find(password), std::string::npos) << error;
        EXPECT_EQ(error_of([&] { set_key("lost"); }), error);
        m_server->restart();
        set_key("back");
        EXPECT_EQ(cli({"GET", "key"}), "back");
        m_server->restart();
        set_key("after restart");
        EXPECT_EQ(cli({"GET", "key"}), "after restart");
        EXPECT_EQ(client().get_reconnects(), reconnects += 2);
    }
}

// A stopped (frozen) server keeps the connection open and answers nothing:
// a command used to wait for it forever, and the whole service with it.
TEST_F(redis_client, a_frozen_server_fails_a_command_in_bounded_time_and_a_later_one_recovers) {
    use_password_protected_server();
    client().execute_command("SET %s %s", "key", "before");
    m_server->send_signal(SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    const auto error = error_of([&] { client().execute_command("GET %s", "key"); });
    const auto waited = std::chrono::steady_clock::now() - start;
    m_server->send_signal(SIGCONT);
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_TRUE(starts_with(error, "Command: GET key, error: connection lost ("));
    EXPECT_EQ(error.find(password), std::string::npos) << error;
    EXPECT_EQ(client().execute_command("GET %s", "key").to_string(), "before");
    EXPECT_EQ(client().get_reconnects(), 1u);
}

}  // namespace
