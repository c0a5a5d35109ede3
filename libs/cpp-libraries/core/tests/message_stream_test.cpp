#include "core/core.h"
#include "core/events_loop.h"
#include "core/logger.h"
#include "core/message_stream.h"
#include "core/zmq/async_socket.h"
#include "message_stream_zmq_raw.h"

#include "support/log_capture.h"
#include "support/run_until.h"

#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include <chrono>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kel::libs::core::events_loop;
using kel::libs::core::message_stream;
using kel::libs::core::timer;
using kel::libs::core::zmq::async_socket;

// A real XPUB socket publishes to the stream under test. Being verbose, it
// hands every subscription request to the test, which therefore knows when
// the stream's filters are in place instead of guessing (slow joiner).
class message_stream_test : public ::testing::Test {
protected:
    message_stream_test()
        : m_logger("quorvane", "test"),
          m_core(kel::libs::core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("test")),
          m_publisher(m_loop->get_io_context(), zmq::socket_type::xpub) {
        m_publisher.native().set(zmq::sockopt::xpub_verbose, 1);
        m_publisher.native().set(zmq::sockopt::sndhwm, 0);
        m_publisher.bind("tcp://127.0.0.1:*");
    }

    void open() { m_stream = m_loop->create_zmq_message_stream(m_publisher.last_endpoint()); }

    // Records what reaches `topic`.
    void subscribe(const std::string& topic) {
        m_subscriptions[topic] = m_stream->subscribe(
            topic, [this, topic](boost::string_view payload) { m_got[topic].push_back(payload.to_string()); });
    }

    // Returns once the subscription request for `wire_topic` reached the
    // publisher.
    void settle(const std::string& wire_topic) {
        bool done = false;
        std::function<void()> arm = [&] {
            m_publisher.async_receive([&](const boost::system::error_code& error, zmq::message_t& message) {
                if (error)
                    return;
                done = message.to_string() == "\x01" + wire_topic;
                if (!done)
                    arm();
            });
        };
        arm();
        run_until([&] { return done; });
    }

    // Publishes the frames, then an end marker on "#end" (subscribed as
    // "end"), and runs the loop until the marker has been delivered:
    // everything published before it has been handled.
    void publish(const std::vector<std::string>& frames) {
        for (const auto& frame : frames)
            ASSERT_FALSE(m_publisher.send(frame));
        ASSERT_FALSE(m_publisher.send("#end{}"));
        const std::size_t before = m_got["end"].size();
        run_until([&] { return m_got["end"].size() > before; });
    }

    // Runs the loop until a callback's exception leaves it (10 s at most).
    void expect_run_to_throw() {
        m_loop->get_io_context().restart();
        auto limit = m_loop->create_timer(
            timer::time_point(std::chrono::steady_clock::now() + 10s), "limit",
            [&](timer::time_point) { m_loop->stop(); }, KEL_SOURCE_LOCATION());
        EXPECT_THROW(m_loop->run(), std::runtime_error);
    }

    void run_until(const std::function<bool()>& done) {
        ASSERT_TRUE(kel::test::run_until(*m_loop, done)) << "timed out";
    }

    kel::libs::core::logger m_logger;
    kel::libs::core::core::ptr m_core;
    events_loop::ptr m_loop;
    async_socket m_publisher;
    message_stream::ptr m_stream;
    std::map<std::string, message_stream::subscription::ptr> m_subscriptions;
    std::map<std::string, std::vector<std::string>> m_got;
};

TEST_F(message_stream_test, lettered_topic_travels_behind_a_hash_and_reaches_its_callback_as_json) {
    open();
    subscribe("notify");
    subscribe("end");
    settle("#end");
    publish({R"(#notify{"object":"ZONE"})", R"(notify{"object":"NODE"})", R"(#notify  {"a":{"b":1}})"});
    EXPECT_EQ(m_got["notify"], (std::vector<std::string>{R"({"object":"ZONE"})", R"({"a":{"b":1}})"}));
}

// Parsing takes many times a frame's size: one beyond the limit is dropped
// with a line that names its size and topic; the frame at the limit passes.
TEST_F(message_stream_test, a_frame_beyond_the_size_limit_is_dropped_with_a_line) {
    kel::test::log_capture log(m_logger);
    open();
    subscribe("notify");
    subscribe("end");
    settle("#end");
    const std::size_t limit = 4 * 1024 * 1024;
    const std::string at_limit = "#notify{\"a\":\"" + std::string(limit - 15, 'x') + "\"}";
    ASSERT_EQ(at_limit.size(), limit);
    publish({at_limit + " ", at_limit});
    ASSERT_EQ(m_got["notify"].size(), 1u);
    EXPECT_EQ(m_got["notify"][0].size(), limit - 7);
    const auto lines = log.take();
    EXPECT_EQ(kel::test::log_capture::count(
                  lines, "Dropped a frame of " + std::to_string(limit + 1) + " bytes, more than the limit of " +
                             std::to_string(limit) + ": #notify{"),
              1u);
}

TEST_F(message_stream_test, reception_goes_on_after_a_callback_throws) {
    open();
    auto thrower = m_stream->subscribe("boom", [](boost::string_view) { throw std::runtime_error("boom"); });
    subscribe("end");
    settle("#end");
    ASSERT_FALSE(m_publisher.send("#boom{}"));
    ASSERT_FALSE(m_publisher.send("#end{}"));
    expect_run_to_throw();
    run_until([&] { return m_got["end"].size() == 1; });
}

// Every frame is handed over inside a burst, and a burst ends also when a
// callback throws, before the exception leaves the stream.
TEST_F(message_stream_test, frames_come_in_bursts_that_end_also_when_a_callback_throws) {
    struct recorder : message_stream::burst_observer {
        void burst_begins() override { ++begun; }
        void burst_follows() noexcept override {
            ++ended;
            ++begun;
        }
        void burst_ends() noexcept override { ++ended; }
        int begun = 0;
        int ended = 0;
    } bursts;
    open();
    m_stream->set_burst_observer(&bursts);
    int outside = 0;
    auto probe = m_stream->subscribe("pos", [&](boost::string_view) { outside += bursts.begun == bursts.ended; });
    auto thrower = m_stream->subscribe("boom", [&](boost::string_view) {
        EXPECT_EQ(bursts.begun, bursts.ended + 1);
        throw std::runtime_error("boom");
    });
    subscribe("end");
    settle("#end");
    publish(std::vector<std::string>(20, "#pos{}"));
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(bursts.begun, bursts.ended);
    ASSERT_FALSE(m_publisher.send("#boom{}"));
    expect_run_to_throw();
    EXPECT_EQ(bursts.begun, bursts.ended);
    m_stream->set_burst_observer(nullptr);
}

// A receive that fails (here three in a row, injected through the socket)
// is logged and tried again after a pause: reception never stops, and a
// socket that fails on every call cannot spin the loop.
TEST_F(message_stream_test, reception_resumes_after_failed_receives_without_spinning) {
    using kel::libs::core::message_stream_zmq_raw;
    message_stream_zmq_raw raw(m_loop->get_io_context(), m_logger, m_publisher.last_endpoint());
    std::vector<std::string> got;
    auto sub = raw.subscribe("#pos", [&](boost::string_view frame) { got.push_back(frame.to_string()); });
    settle("#pos");
    const auto started = std::chrono::steady_clock::now();
    raw.socket().inject_receive_errors(make_error_code(boost::system::errc::io_error), 3);
    ASSERT_FALSE(m_publisher.send("#pos{}"));
    run_until([&] { return !got.empty(); });
    EXPECT_EQ(got, std::vector<std::string>{"#pos{}"});
    EXPECT_GE(std::chrono::steady_clock::now() - started, 3 * message_stream_zmq_raw::receive_retry_delay);
}

}  // namespace
