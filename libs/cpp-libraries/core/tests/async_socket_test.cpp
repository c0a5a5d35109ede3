#include "core/zmq/async_socket.h"

#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/system_error.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace {

using kel::libs::core::zmq::async_socket;

class async_socket_test : public ::testing::Test {
protected:
    async_socket_test() : m_deadline(m_io) {
        m_pull.bind("tcp://127.0.0.1:*");
        m_push.connect(m_pull.last_endpoint());
    }

    // Receives until `count` messages arrived, re-arming from the handler as
    // a stream does; bounded by a deadline.
    std::vector<std::string> receive(std::size_t count) {
        std::vector<std::string> got;
        std::function<void()> arm = [&] {
            m_pull.async_receive([&](const boost::system::error_code& error, zmq::message_t& message) {
                ASSERT_FALSE(error) << error.message();
                got.push_back(message.to_string());
                if (got.size() < count)
                    arm();
                else
                    m_io.stop();
            });
        };
        arm();
        run_for(std::chrono::seconds(10));
        return got;
    }

    void run_for(std::chrono::milliseconds limit) {
        m_deadline.expires_after(limit);
        m_deadline.async_wait([this](const boost::system::error_code& e) {
            if (!e)
                m_io.stop();
        });
        m_io.restart();
        m_io.run();
    }

    boost::asio::io_context m_io;
    boost::asio::steady_timer m_deadline;
    async_socket m_pull{m_io, zmq::socket_type::pull};
    async_socket m_push{m_io, zmq::socket_type::push};
};

TEST_F(async_socket_test, a_burst_is_drained_completely) {
    // Below the sender's high-water mark, so that no send is refused while
    // nothing receives yet.
    for (int i = 0; i < 900; ++i)
        ASSERT_FALSE(m_push.send("m" + std::to_string(i)));
    const auto got = receive(900);
    ASSERT_EQ(got.size(), 900u);
    EXPECT_EQ(got.front(), "m0");
    EXPECT_EQ(got.back(), "m899");
}

TEST_F(async_socket_test, handler_never_runs_inside_the_receive_call) {
    m_push.send("x");
    bool called = false;
    m_pull.async_receive([&](const boost::system::error_code&, zmq::message_t&) {
        called = true;
        m_io.stop();
    });
    EXPECT_FALSE(called);
    run_for(std::chrono::seconds(10));
    EXPECT_TRUE(called);
}

}  // namespace
