#pragma once

#include "core/logger.h"

#include <zmq.hpp>

#include <string>
#include <vector>

namespace kel::test {

// The lines a logger sends on its debug stream, read from a PULL socket on
// loopback. The logger is connected at construction and must outlive the
// capture.
class log_capture {
public:
    explicit log_capture(libs::core::logger& logger);

    // Every line logged since the last call, whole ("&module:component
    // <date> <time> <text>"). Bounded: a marker line is logged and lines
    // are read up to it, 10 s at most.
    std::vector<std::string> take();
    // How many of take()'s lines hold `text`.
    static std::size_t count(const std::vector<std::string>& lines, const std::string& text);
    // How many lines so far, taken or not, hold `text`; reads what has come
    // and never waits, for the conditions of bounded waits.
    std::size_t logged(const std::string& text);

private:
    // The next line, waiting at most the socket's 10 s when `wait`.
    bool receive(bool wait);

    libs::core::logger& m_logger;
    zmq::context_t m_context;
    zmq::socket_t m_pull;
    // Every line received; those from m_taken on are not taken yet.
    std::vector<std::string> m_lines;
    std::size_t m_taken = 0;
};

}  // namespace kel::test
