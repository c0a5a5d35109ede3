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

private:
    libs::core::logger& m_logger;
    zmq::context_t m_context;
    zmq::socket_t m_pull;
};

}  // namespace kel::test
