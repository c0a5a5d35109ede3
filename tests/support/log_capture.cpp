#include "support/log_capture.h"

#include <algorithm>

namespace kel::test {

namespace {

const std::string marker = "-- end of captured lines --";

}  // namespace

log_capture::log_capture(libs::core::logger& logger)
    : m_logger(logger), m_pull(m_context, zmq::socket_type::pull) {
    m_pull.bind("tcp://127.0.0.1:*");
    m_pull.set(zmq::sockopt::rcvtimeo, 10000);
    m_logger.connect(m_pull.get(zmq::sockopt::last_endpoint));
    take();
}

std::vector<std::string> log_capture::take() {
    m_logger.info("%1%") % marker;
    std::vector<std::string> lines;
    while (receive(true)) {
        if (m_lines.back().find(marker) != std::string::npos) {
            m_lines.pop_back();
            break;
        }
    }
    lines.assign(m_lines.begin() + static_cast<std::ptrdiff_t>(m_taken), m_lines.end());
    m_taken = m_lines.size();
    return lines;
}

std::size_t log_capture::logged(const std::string& text) {
    while (receive(false)) {
    }
    return count(m_lines, text);
}

bool log_capture::receive(bool wait) {
    zmq::message_t message;
    if (!m_pull.recv(message, wait ? zmq::recv_flags::none : zmq::recv_flags::dontwait))
        return false;
    m_lines.push_back(message.to_string());
    return true;
}

std::size_t log_capture::count(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

}  // namespace kel::test
