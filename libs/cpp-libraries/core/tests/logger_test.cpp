#include "core/logger.h"

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <regex>
#include <thread>

namespace {

using kel::libs::core::logger;

// Reads the logger's debug stream through a real PULL socket.
class logger_stream : public ::testing::Test {
protected:
    logger_stream() : m_pull(m_context, zmq::socket_type::pull), m_logger("quorvane", "main") {
        m_pull.bind("tcp://127.0.0.1:*");
        m_pull.set(zmq::sockopt::rcvtimeo, 10000);
        m_logger.connect(m_pull.get(zmq::sockopt::last_endpoint));
        // The connect itself logs at debug level; drain it.
        next_line();
    }

    std::string next_line() {
        zmq::message_t message;
        if (!m_pull.recv(message))
            return "<timeout>";
        return message.to_string();
    }

    // The part of a line after "&module:component <date> ".
    std::string body(const std::string& line) {
        static const std::regex prefix(R"(^&quorvane:(\w+) \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
        std::smatch m;
        if (!std::regex_search(line, m, prefix))
            return "<bad prefix: " + line + ">";
        return m.suffix();
    }

    zmq::context_t m_context;
    zmq::socket_t m_pull;
    logger m_logger;
};

TEST_F(logger_stream, exceptions_are_described) {
    try {
        throw 42;
    } catch (...) {
        m_logger.log_exception();
    }
    EXPECT_EQ(body(next_line()), "Unknown exception");

    try {
        throw std::runtime_error("bad");
    } catch (...) {
        m_logger.log_exception();
    }
    EXPECT_EQ(body(next_line()), "std::exception::what(): bad");

    try {
        KEL_THROW("located");
    } catch (...) {
        m_logger.log_exception();
    }
    const auto line = body(next_line());
    EXPECT_NE(line.find("logger_test.cpp:"), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 8), " located");
}

TEST_F(logger_stream, malformed_format_never_throws) {
    m_logger.info("100% sure %1% %2%") % 1;
    m_logger.info("%1%") % 1 % 2 % 3;
    EXPECT_NE(next_line(), "<timeout>");
    EXPECT_NE(next_line(), "<timeout>");
}

// A flood of one error costs its first line and, once the interval is
// over, one line with the count; other texts and lower levels pass.
TEST_F(logger_stream, repeated_identical_errors_are_collapsed_into_a_count_per_interval) {
    m_logger.set_repeat_interval(std::chrono::milliseconds(200));
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i)
        m_logger.error("bad frame");
    m_logger.error("another text");
    m_logger.info("bad frame");
    m_logger.info("bad frame");
    EXPECT_EQ(body(next_line()), "bad frame");
    EXPECT_EQ(body(next_line()), "another text");
    EXPECT_EQ(body(next_line()), "bad frame");
    EXPECT_EQ(body(next_line()), "bad frame");
    // Past the interval (a lower bound, not a guess), the next occurrence
    // brings the count out and is itself written as a first one.
    std::this_thread::sleep_until(started + std::chrono::milliseconds(250));
    m_logger.error("bad frame");
    EXPECT_EQ(body(next_line()), "bad frame (repeated 999 more times in 0.2 s)");
    EXPECT_EQ(body(next_line()), "bad frame");
}

}  // namespace
