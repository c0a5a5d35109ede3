#include "core/logger.h"

#include "repeat_filter.h"

#include <syslog.h>

#include <cstdio>
#include <iostream>
#include <sstream>

namespace kel::libs::core {

namespace {

std::string date_text(const timestamp& ts) {
    return ts.to_iso_8601(true, ' ', false) + " ";
}

std::string location_text(const source_location& location) {
    std::ostringstream os;
    os << source_location::remove_directory_prefix(location.file()) << ":" << location.line() << " ";
    return os.str();
}

}  // namespace

// --- formatter ---------------------------------------------------------------

component_logger::formatter::formatter(const component_logger& logger, int level, boost::string_view text)
    : m_log_level(level), m_logger(logger), m_heard(logger.m_logger.is_heard(level)) {
    if (!m_heard)
        return;
    // A malformed format or a wrong number of arguments must never make
    // logging throw; the line is written with what could be formatted.
    m_format.exceptions(boost::io::no_error_bits);
    m_format.parse(std::string(text));
}

component_logger::formatter::~formatter() {
    if (!m_heard)
        return;
    try {
        std::string body;
        if (m_source_location)
            body += location_text(*m_source_location);
        if (!m_function.empty()) {
            body.append(m_function.data(), m_function.size());
            body += ": ";
        }
        body += m_format.str();
        m_logger.emit(m_log_level, body, m_timestamp);
    } catch (...) {
        // Logging is the last resort for reporting; it cannot report itself.
    }
}

component_logger::formatter& component_logger::formatter::location(const source_location& location) {
    m_source_location = location;
    return *this;
}

component_logger::formatter& component_logger::formatter::function(const source_location& location) {
    m_function = location.function();
    return *this;
}

component_logger::formatter& component_logger::formatter::short_function(const source_location& location) {
    m_function = location.short_function();
    return *this;
}

component_logger::formatter& component_logger::formatter::date_time(timestamp ts) {
    m_timestamp = ts;
    return *this;
}

// --- component_logger --------------------------------------------------------

component_logger::indent_guard::~indent_guard() {
    if (m_logger)
        --m_logger->m_indent;
}

component_logger::component_logger(const logger& logger, const std::string& module, const std::string& component)
    : m_logger(logger), m_module_name(module), m_zmq_prefix("&" + module + ":" + component + " ") {}

component_logger::ptr component_logger::component(const std::string& name) const {
    return std::make_unique<component_logger>(m_logger, m_module_name, name);
}

std::string component_logger::make_indent() const {
    const auto depth = m_indent.load();
    if (depth <= 0)
        return {};
    return std::string(static_cast<std::size_t>(depth) * 4, ' ') + "| ";
}

void component_logger::emit(int level, const std::string& body, const boost::optional<timestamp>& ts) const {
    if (!m_logger.admit(level, m_zmq_prefix, body))
        return;
    const std::string prefix = date_text(ts ? *ts : timestamp::current_time()) + make_indent();
    const std::string syslog_line = m_logger.is_debug() ? prefix + body : body;
    m_logger.write(level, syslog_line, m_zmq_prefix + prefix + body);
}

component_logger::indent_guard component_logger::enter_scope(boost::string_view name) const {
    debug("%1%") % name;
    ++m_indent;
    return indent_guard(*this);
}

component_logger::indent_guard component_logger::enter_scope(const source_location& location) const {
    return enter_scope(location.function());
}

component_logger::indent_guard component_logger::enter_scope(const source_location& location,
                                                              boost::string_view name) const {
    debug("%1%").location(location) % name;
    ++m_indent;
    return indent_guard(*this);
}

component_logger::indent_guard component_logger::enter_function(const source_location& location) const {
    return enter_scope(location.short_function());
}

component_logger::indent_guard component_logger::enter_function_short(const source_location& location,
                                                                       boost::string_view name) const {
    debug("%1%").short_function(location) % name;
    ++m_indent;
    return indent_guard(*this);
}

void component_logger::log_exception() const {
    if (m_logger.is_logger_enabled())
        error("%1%") % exception_to_string();
}

void component_logger::log_exception(const source_location& location) const {
    error("Caught exeption").location(location);
    log_exception();
}

void component_logger::log_exception(const located_exception& e) const {
    if (m_logger.is_logger_enabled())
        error("%1%") % exception_to_string(e);
}

void component_logger::log_error(const boost::system::error_code& error_code, const source_location& location) const {
    error("%1%:%2%: %3%") % source_location::remove_directory_prefix(location.file()) % location.line() %
        error_code.message();
}

bool component_logger::execute(const std::function<void()>& f) const {
    try {
        f();
        return true;
    } catch (...) {
        log_exception();
        return false;
    }
}

// --- logger ------------------------------------------------------------------

logger::logger(const std::string& name, const std::string& component)
    : component_logger(*this, name, component),
      m_module_name(name),
      m_zmq_context(),
      m_debug_socket(m_zmq_context, zmq::socket_type::push),
      m_repeats(std::make_unique<repeat_filter>(std::chrono::seconds(1))) {
    m_debug_socket.set(zmq::sockopt::linger, 5000);
    open_syslog(false);
    info("Starting %1%") % name;
}

logger::~logger() {
    std::vector<repeat_filter::count_line> due;
    {
        std::lock_guard<std::mutex> lock(m_repeats_mutex);
        due = m_repeats->take_all();
    }
    for (const auto& line : due) {
        const std::string prefix = date_text(timestamp::current_time());
        write(line.level, m_debug ? prefix + line.text : line.text, line.source + prefix + line.text);
    }
    closelog();
}

void logger::set_repeat_interval(std::chrono::steady_clock::duration interval) {
    std::lock_guard<std::mutex> lock(m_repeats_mutex);
    m_repeats->set_interval(interval);
}

bool logger::admit(int level, const std::string& source, const std::string& body) const {
    if (level > LOG_WARNING)
        return true;
    std::vector<repeat_filter::count_line> due;
    bool admitted = true;
    {
        std::lock_guard<std::mutex> lock(m_repeats_mutex);
        admitted = m_repeats->admit(level, source, body, repeat_filter::clock::now(), due);
    }
    for (const auto& line : due) {
        const std::string prefix = date_text(timestamp::current_time());
        write(line.level, m_debug ? prefix + line.text : line.text, line.source + prefix + line.text);
    }
    return admitted;
}

void logger::set_debug(bool on) {
    open_syslog(on);
    m_configured = true;
}

void logger::open_syslog(bool on) {
    closelog();
    openlog(m_module_name.c_str(), on ? LOG_PERROR : 0, LOG_USER);
    setlogmask(LOG_UPTO(on ? LOG_DEBUG : LOG_INFO));
    m_debug = on;
}

void logger::connect(const std::string& address) {
    {
        std::lock_guard<std::mutex> lock(m_socket_mutex);
        m_debug_socket.connect(address);
    }
    m_socket_connected = true;
    debug("Connected to socket");
}

void logger::write(int level, const std::string& syslog_line, const std::string& socket_line) const {
    syslog(level, "%s", syslog_line.c_str());
    // In debug mode syslog copies the line itself (LOG_PERROR).
    if (level <= LOG_ERR && !m_configured && !m_debug)
        std::fprintf(stderr, "%s: %s\n", m_module_name.c_str(), syslog_line.c_str());
    if (!m_writing_to_socket)
        return;
    std::lock_guard<std::mutex> lock(m_socket_mutex);
    try {
        m_debug_socket.send(zmq::buffer(socket_line), zmq::send_flags::dontwait);
    } catch (const zmq::error_t&) {
        // A full or closed debug socket drops the line; logging never throws.
    }
}

std::string log_excerpt(boost::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return std::string(text);
    return std::string(text.substr(0, limit)) + "... (" + std::to_string(text.size()) + " bytes)";
}

// --- exception texts ---------------------------------------------------------

std::string exception_to_string() {
    try {
        throw;
    } catch (const located_exception& e) {
        return exception_to_string(e);
    } catch (const std::exception& e) {
        return std::string("std::exception::what(): ") + e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

std::string exception_to_string(const located_exception& e) {
    std::ostringstream os;
    e.describe(os);
    return os.str();
}

}  // namespace kel::libs::core
