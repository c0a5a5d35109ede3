#pragma once

#include "core/exception.h"
#include "core/source_location.h"
#include "core/timestamp.h"

#include <boost/format.hpp>
#include <boost/optional.hpp>
#include <boost/system/error_code.hpp>
#include <boost/utility/string_view.hpp>

#include <zmq.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace kel::libs::core {

class logger;
class repeat_filter;

// Logs on behalf of one component of the process. Lines go to syslog (under
// the process logger's identity) and, prefixed with "&module:component ", to
// the debug PUSH socket. A component logger refers to the process logger,
// which must outlive it. Safe to use from several threads.
class component_logger {
public:
    // One log line under construction; arguments are fed with operator% and
    // the line is emitted when the temporary dies at the end of the
    // full-expression: logger.info("moved %1% to %2%") % a % b;
    class formatter {
    public:
        formatter(const component_logger& logger, int level, boost::string_view text);
        formatter(formatter&&) = delete;
        ~formatter();

        formatter& location(const source_location& location);
        formatter& function(const source_location& location);
        formatter& short_function(const source_location& location);
        formatter& date_time(timestamp ts);

        template <typename T>
        formatter& operator%(const T& argument) {
            feed(argument);
            return *this;
        }
        formatter& operator%(boost::string_view argument) {
            if (m_heard)
                feed(std::string(argument));
            return *this;
        }

    private:
        template <typename T>
        void feed(const T& argument) {
            if (!m_heard)
                return;
            try {
                m_format % argument;
            } catch (...) {
                m_bad_arguments = true;
            }
        }

        boost::format m_format;
        int m_log_level;
        const component_logger& m_logger;
        boost::optional<source_location> m_source_location;
        boost::string_view m_function;
        boost::optional<timestamp> m_timestamp;
        std::string m_text;
        bool m_bad_arguments = false;
        // False for a line that no sink would take (a debug line outside
        // debug mode while no debug socket is connected): it is then
        // neither formatted nor emitted, so that debug lines on hot paths
        // cost a test.
        bool m_heard;
    };

    // Decreases the indent of its logger when destroyed.
    class indent_guard {
    public:
        explicit indent_guard(const component_logger& logger) : m_logger(&logger) {}
        indent_guard(indent_guard&& other) noexcept : m_logger(other.m_logger) { other.m_logger = nullptr; }
        indent_guard& operator=(indent_guard&&) = delete;
        ~indent_guard();

    private:
        const component_logger* m_logger;
    };

    using ptr = std::unique_ptr<component_logger>;

    component_logger(const logger& logger, const std::string& module, const std::string& component);
    virtual ~component_logger() = default;
    component_logger(const component_logger&) = delete;
    component_logger& operator=(const component_logger&) = delete;

    ptr component(const std::string& name) const;

    formatter debug(boost::string_view text) const { return formatter(*this, 7, text); }
    formatter info(boost::string_view text) const { return formatter(*this, 6, text); }
    formatter warning(boost::string_view text) const { return formatter(*this, 4, text); }
    formatter error(boost::string_view text) const { return formatter(*this, 3, text); }

    indent_guard enter_scope(boost::string_view name) const;
    indent_guard enter_scope(const source_location& location) const;
    indent_guard enter_scope(const source_location& location, boost::string_view name) const;
    indent_guard enter_function(const source_location& location) const;
    indent_guard enter_function_short(const source_location& location, boost::string_view name) const;

    // Only inside a catch block: logs the exception being handled.
    void log_exception() const;
    void log_exception(const source_location& location) const;
    void log_exception(const located_exception& e) const;
    void log_error(const boost::system::error_code& error, const source_location& location) const;

    // Runs `f`; an exception escaping it is logged and goes no further.
    bool execute(const std::function<void()>& f) const;

    const logger& get_logger() const { return m_logger; }

private:
    friend class formatter;
    friend class indent_guard;

    std::string make_indent() const;
    void emit(int level, const std::string& body, const boost::optional<timestamp>& ts) const;

    mutable std::atomic<std::int32_t> m_indent{0};
    const logger& m_logger;
    std::string m_module_name;
    std::string m_zmq_prefix;
};

// The process logger: owns the syslog connection and the debug socket, and is
// itself the component logger of the process. Create exactly one, first
// thing in main; it must outlive every component logger made from it.
//
// Error and warning lines that repeat, identical, from one component are
// collapsed (repeat_filter): the first is written, the repetitions within
// the following second are counted into one line. A bad frame sent in a
// loop thus costs about two lines a second, not one per frame.
class logger : public component_logger {
public:
    logger(const std::string& name, const std::string& component);
    ~logger() override;

    bool is_debug() const { return m_debug; }
    // In debug mode debug lines reach syslog and every line is also copied
    // to standard error. The first call also marks the logger configured:
    // until then, error lines are copied to standard error in any mode, so
    // that a start that fails before the configuration is applied (a bad
    // file, the pid file) says why where syslog is not read, as in a
    // container.
    void set_debug(bool on);
    bool is_writing_to_socket() const { return m_writing_to_socket; }
    void set_writing_to_socket(bool on) { m_writing_to_socket = on; }
    // The gate of log_exception: while it is off, a caught exception is
    // neither described nor written. On from the start; a harness that
    // feeds millions of rejected inputs turns it off.
    bool is_logger_enabled() const { return m_enable_logger; }
    void set_logger_enabled(bool on) { m_enable_logger = on; }

    // Connects the debug PUSH socket; throws zmq::error_t on failure.
    void connect(const std::string& address);
    // Whether a line of `level` reaches syslog or the debug socket.
    bool is_heard(int level) const {
        constexpr int info = 6;  // LOG_INFO: syslog takes up to it outside debug mode
        return level <= info || m_debug || (m_writing_to_socket && m_socket_connected);
    }

    void write(int level, const std::string& syslog_line, const std::string& socket_line) const;

    // How long repetitions of a line are counted before the count is
    // written; one second unless a test shortens it.
    void set_repeat_interval(std::chrono::steady_clock::duration interval);

private:
    friend class component_logger;
    // Whether the line is written (see repeat_filter); writes the counts
    // that are due.
    bool admit(int level, const std::string& source, const std::string& body) const;

    void open_syslog(bool debug);

    std::string m_module_name;
    std::atomic<bool> m_debug{false};
    std::atomic<bool> m_configured{false};
    std::atomic<bool> m_writing_to_socket{true};
    std::atomic<bool> m_socket_connected{false};
    std::atomic<bool> m_enable_logger{true};
    ::zmq::context_t m_zmq_context;
    mutable std::mutex m_socket_mutex;
    mutable ::zmq::socket_t m_debug_socket;
    mutable std::mutex m_repeats_mutex;
    std::unique_ptr<repeat_filter> m_repeats;
};

// `text` for a log line: whole when it has at most `limit` bytes, else its
// first `limit` bytes followed by "... (<size> bytes)", so that a body or a
// frame from outside is never logged whole.
std::string log_excerpt(boost::string_view text, std::size_t limit = 300);

// Text of the exception being handled (call only inside a catch block).
std::string exception_to_string();
std::string exception_to_string(const located_exception& e);

}  // namespace kel::libs::core
