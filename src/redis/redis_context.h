#pragma once

#include "metrics.h"
#include "redis/reply.h"

#include "core/exception.h"

#include <hiredis/hiredis.h>

#include <boost/utility/string_view.hpp>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kel::redis {

// Raised when Redis answered a command with an error (WRONGTYPE, OOM, ...),
// as opposed to a connection that broke: the command reached Redis and was
// refused.
class reply_error : public libs::core::exception {
public:
    using exception::exception;
};

// One blocking Redis connection, authenticated and on its database. Every
// command blocks the caller until Redis answers; an error reply becomes a
// reply_error "Command: <command>, error: <Redis text>", where <command> is
// the command with its real arguments, blank-separated (each cut to a
// hundred bytes); any other failure is a kel::libs::core::exception named
// the same way.
//
// A command that gets no answer within 2 s (a frozen Redis) fails like one
// whose connection broke, so that no command blocks the service for good.
// A broken connection is healed by the next command: it connects again (same
// host, port, password and database) and sends that command once more. A
// command whose reply was lost with the connection may thus reach Redis
// twice, so only idempotent commands should rely on this. When Redis cannot
// be reached, or answers nothing even then, the command throws and the
// following command tries again. Users that must know about the lost
// connection (Redis may have come back empty) compare get_reconnects() with
// the value they saw last.
//
// The password never appears in an error text. Not thread-safe: one thread
// uses the connection.
class context {
public:
    using ptr = std::unique_ptr<context>;
    using field_ref = std::reference_wrapper<const std::string>;
    using field_value_refs = std::pair<field_ref, field_ref>;

    // Connects within 1.5 s, sends AUTH when `password` is not empty, then
    // SELECT `db`. Throws "Connection error: ...", "AUTH failed" or the
    // error of the failing command.
    context(const std::string& host, int port, unsigned int db, const std::string& password);
    virtual ~context();
    context(const context&) = delete;
    context& operator=(const context&) = delete;

    // printf-style hiredis formatting: each %s argument becomes one Redis
    // argument, blanks included. Never paste outside text into `format`:
    // a "%" in it is read as a conversion and a blank splits arguments.
    template <typename... Args>
    reply execute_command(const std::string& format, Args... args) {
        return execute([&] { return describe(format, args...); },
                       [&](redisContext& c) { return redisCommand(&c, format.c_str(), args...); });
    }
    // One Redis argument per NUL-terminated string.
    reply execute_command_argv(const std::vector<const char*>& args);

    // Pipelining: appended commands are only buffered, in order, and go to
    // Redis together at flush_appended(), which reads every reply. Nothing
    // else may be executed while commands are appended.
    template <typename... Args>
    void append_command(const std::string& format, Args... args) {
        char* formatted = nullptr;
        const int length = redisFormatCommand(&formatted, format.c_str(), args...);
        append_formatted(format, formatted, length);
    }

    // The text that names a command in errors: its arguments as Redis gets
    // them, so a key shows as itself.
    template <typename... Args>
    static std::string describe(const std::string& format, Args... args) {
        char* formatted = nullptr;
        const int length = redisFormatCommand(&formatted, format.c_str(), args...);
        return describe_formatted(format, formatted, length);
    }
    static std::string describe(const std::vector<const char*>& args);
    void append_command_argv(const std::vector<const char*>& args);
    // The same from views, formatted here: the bytes Redis gets are those of
    // the forms above for the same arguments.
    void append_command_views(std::initializer_list<boost::string_view> args);
    reply execute_command_views(std::initializer_list<boost::string_view> args);
    // Appends to `out` the request hiredis would format for `args`.
    static void format_command(std::string& out, std::initializer_list<boost::string_view> args);
    // Sends what was appended and reads each reply; every command has been
    // answered when it throws the first error reply, named as execute's
    // are. When the connection breaks, it connects again and sends once
    // more the commands not yet answered, as execute does.
    void flush_appended();

    // Group commit. Between begin_burst() and end_burst(), flush_appended()
    // keeps what was appended: all the burst's commands go to Redis in one
    // round trip at end_burst(), in the order appended, answered and thrown
    // as flush_appended() does. An execute_* within a burst first sends what
    // the burst appended so far, so that no command overtakes another; a
    // failure there is thrown again by end_burst(). Bursts do not nest.
    void begin_burst();
    void end_burst();
    bool in_burst() const { return m_in_burst; }

    // end_burst() in two halves, so that the caller can work while Redis
    // does: send_burst() ends the burst and writes its commands out without
    // reading a reply; settle_burst() reads the replies, and heals a broken
    // connection as flush_appended() does, throwing what end_burst() would
    // have thrown. The next burst may begin and append in between, but one
    // burst at most is in flight: each send_burst() needs the previous
    // burst settled. Any other exchange with Redis (an execute_*, a flush
    // outside a burst, a burst's early send) reads the replies of the burst
    // in flight first, so that replies are read in order; what failed then
    // is kept for settle_burst() to throw, which must still be called.
    void send_burst();
    void settle_burst();
    bool has_burst_in_flight() const { return m_flight != flight::none; }

    reply flush_db();
    reply get_set_members(const std::string& key);
    reply get_from_table(const std::string& key, const std::string& field);
    reply get_from_table(const std::string& key, std::initializer_list<field_ref> fields);
    reply set_to_table(const std::string& key, const std::string& field, const std::string& value);
    reply set_to_table(const std::string& key, std::initializer_list<field_value_refs> fields);
    reply increment_in_table(const std::string& key, const std::string& field, const std::string& value);
    reply delete_from_table(const std::string& key, const std::string& field);

    // How many times a broken connection was replaced by a working one.
    std::uint64_t get_reconnects() const { return m_reconnects; }
    // Commands sent, and round trips (each exchange with Redis that sent
    // one command or a pipeline of them), resends after a reconnect
    // included.
    std::uint64_t get_commands() const { return m_commands; }
    std::uint64_t get_round_trips() const { return m_round_trips; }

private:
    // Sends one command on the given connection; null when no reply came.
    using sender = std::function<void*(redisContext&)>;
    // Names the command in an error text; called only on a failure.
    using label = std::function<std::string()>;

    // Takes `formatted` (hiredis's, freed here); `format` names a command
    // that could not be formatted.
    static std::string describe_formatted(const std::string& format, char* formatted, int length);
    // The arguments of a command in the wire protocol.
    static std::string describe_protocol(const std::string& protocol);

    struct context_deleter {
        void operator()(redisContext* raw) const;
    };
    using context_ptr = std::unique_ptr<redisContext, context_deleter>;

    static context_ptr connect(const std::string& host, int port, unsigned int db, const std::string& password);
    // Wraps what hiredis returned for the command named `label`, throwing
    // when there is no reply or the reply is an error.
    static reply checked(const label& name, void* raw, const redisContext& connection);
    static reply execute_once(redisContext& connection, const label& name, const sender& send);

    // Sends on the current connection, counted as one round trip.
    void* timed_send(const sender& send);
    // Counted here for get_commands() and get_round_trips(), and in the
    // service's metrics.
    void counted_round_trip(std::size_t commands, metrics::clock::time_point started);
    // On no reply: reconnect, then send once more.
    reply execute(const label& name, const sender& send);
    void reconnect(const std::string& name);

    context_ptr m_context_ptr;
    std::string m_host;
    int m_port;
    unsigned int m_db;
    std::string m_password;
    std::uint64_t m_reconnects = 0;
    std::uint64_t m_commands = 0;
    std::uint64_t m_round_trips = 0;
    bool m_in_burst = false;
    // The first failure of a send made early within the burst.
    std::string m_burst_failure;

    // Commands in the wire protocol, one after the other, and where each
    // ends: buffers kept from flush to flush, so that appending allocates
    // only as a burst grows beyond the largest so far.
    struct commands {
        std::string bytes;
        std::vector<std::size_t> ends;

        std::size_t count() const { return ends.size(); }
        bool empty() const { return ends.empty(); }
        std::size_t start_of(std::size_t index) const { return index == 0 ? 0 : ends[index - 1]; }
        void clear() {
            bytes.clear();
            ends.clear();
        }
    };
    // Clears the commands whatever way the scope is left; the buffers keep
    // their capacity.
    struct cleared_on_exit {
        commands& cleared;
        ~cleared_on_exit() { cleared.clear(); }
    };

    enum class flight { none, sent, settled_early };

    // Sends what was appended and reads every reply.
    void flush_now();
    // Before a single command: the burst's appended commands go first.
    void send_appended_first();
    // Before any other exchange: the burst in flight is answered first.
    void settle_early();
    // Takes `formatted` (hiredis's, freed here); a negative length means
    // the format failed, and `format` names the command.
    void append_formatted(const std::string& format, char* formatted, int length);
    // Reads the replies of `sent`, which hiredis was handed at `started`;
    // on a broken connection, connects again and sends once more those not
    // answered. Throws the first error, or the loss.
    void answer(const commands& sent, metrics::clock::time_point started);
    // Reads the replies of `sent` from `from` on; returns the index of the
    // first one that got no reply (the connection broke), or their count.
    std::size_t read_replies(const commands& sent, std::size_t from, std::string& first_error);
    // Hands hiredis the bytes of `sent` from command `from` on.
    void hand_over(const commands& sent, std::size_t from);
    // The arguments of command `index` of `sent`, for an error text.
    static std::string describe_appended(const commands& sent, std::size_t index);

    commands m_appended;
    // The burst sent by send_burst() and not yet settled.
    commands m_in_flight;
    flight m_flight = flight::none;
    metrics::clock::time_point m_flight_started;
    // What settle_burst() throws: the in-flight burst's early failure, or
    // what settling it early found.
    std::string m_flight_failure;
};

}  // namespace kel::redis
