#include "redis/redis_context.h"

#include "redis/unbuilt_replies.h"

#include "core/exception.h"

#include <sys/time.h>

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace kel::redis {

namespace {

const timeval connect_timeout{1, 500000};
// A Redis that does not answer a command in this time (stopped, frozen,
// unreachable behind a dead peer) is treated as a lost connection: without
// it a blocking read would wait forever, and the whole service with it.
const timeval command_timeout{2, 0};

// An argument longer than this is cut in error texts: a key is whole, a
// long value is not logged whole.
constexpr std::size_t described_argument_bytes = 100;

std::string lost_connection_text(const redisContext& connection) {
    return connection.err != 0 ? std::string(connection.errstr) : std::string("unknown I/O error");
}

void append_argument(std::string& text, const char* data, std::size_t size) {
    if (!text.empty())
        text += ' ';
    if (size <= described_argument_bytes) {
        text.append(data, size);
        return;
    }
    text.append(data, described_argument_bytes);
    text += "...(" + std::to_string(size) + " bytes)";
}

}  // namespace

context::context(const std::string& host, int port, unsigned int db, const std::string& password)
    : m_context_ptr(connect(host, port, db, password)), m_host(host), m_port(port), m_db(db), m_password(password) {}

context::~context() = default;

void context::context_deleter::operator()(redisContext* raw) const {
    redisFree(raw);
}

context::context_ptr context::connect(const std::string& host, int port, unsigned int db,
                                      const std::string& password) {
    context_ptr connection(redisConnectWithTimeout(host.c_str(), port, connect_timeout));
    if (!connection)
        KEL_THROW("Connection error: can't allocate redis context");
    if (connection->err != 0)
        KEL_THROW("Connection error: " + std::string(connection->errstr));
    if (redisSetTimeout(connection.get(), command_timeout) != REDIS_OK)
        KEL_THROW("Connection error: " + std::string(connection->errstr));
    if (!password.empty()) {
        // The password travels as an argument, so that an error names only
        // the format.
        const reply auth = execute_once(*connection, [] { return std::string("AUTH"); }, [&](redisContext& c) {
            return redisCommand(&c, "AUTH %s", password.c_str());
        });
        if (auth.get_type() != reply_type::STATUS || auth.to_string() != "OK")
            KEL_THROW("AUTH failed");
    }
    execute_once(*connection, [db] { return "SELECT " + std::to_string(db); },
                 [db](redisContext& c) { return redisCommand(&c, "SELECT %u", db); });
    return connection;
}

std::string context::describe_formatted(const std::string& format, char* formatted, int length) {
    if (length < 0)
        return format;
    const std::string protocol(formatted, static_cast<std::size_t>(length));
    redisFreeCommand(formatted);
    return describe_protocol(protocol);
}

// "*<count>\r\n" then "$<length>\r\n<bytes>\r\n" per argument, as hiredis
// formats every command.
std::string context::describe_protocol(const std::string& protocol) {
    std::string text;
    std::size_t at = protocol.find("\r\n");
    while (at != std::string::npos && at + 3 < protocol.size() && protocol[at + 2] == '$') {
        const std::size_t length_end = protocol.find("\r\n", at + 3);
        if (length_end == std::string::npos)
            break;
        const std::size_t size = std::strtoul(protocol.c_str() + at + 3, nullptr, 10);
        const std::size_t data = length_end + 2;
        if (data + size > protocol.size())
            break;
        append_argument(text, protocol.data() + data, size);
        at = data + size;
    }
    return text;
}

std::string context::describe(const std::vector<const char*>& args) {
    std::string text;
    for (const char* arg : args)
        append_argument(text, arg, std::strlen(arg));
    return text;
}

reply context::checked(const label& name, void* raw, const redisContext& connection) {
    if (raw == nullptr || static_cast<redisReply*>(raw)->type == REDIS_REPLY_ERROR)
        metrics::counts().redis_error();
    if (raw == nullptr)
        KEL_THROW("Command: " + name() + ", error: no reply, connection lost: " + lost_connection_text(connection));
    reply result(static_cast<redisReply*>(raw));
    if (result.get_type() == reply_type::ERROR)
        throw reply_error("Command: " + name() + ", error: " + result.to_string(), KEL_SOURCE_LOCATION());
    return result;
}

reply context::execute_once(redisContext& connection, const label& name, const sender& send) {
    return checked(name, send(connection), connection);
}

reply context::execute(const label& name, const sender& send) {
    settle_early();
    send_appended_first();
    void* raw = timed_send(send);
    if (raw == nullptr) {
        reconnect(name());
        raw = timed_send(send);
    }
    return checked(name, raw, *m_context_ptr);
}

void context::send_appended_first() {
    if (m_appended.empty())
        return;
    KEL_CHECK(m_in_burst);
    try {
        flush_now();
    } catch (const libs::core::exception& e) {
        if (m_burst_failure.empty())
            m_burst_failure = e.get_string_error();
        throw;
    }
}

void context::begin_burst() {
    KEL_CHECK(!m_in_burst);
    m_in_burst = true;
}

void context::end_burst() {
    send_burst();
    settle_burst();
}

void context::send_burst() {
    KEL_CHECK(m_flight == flight::none);
    m_in_burst = false;
    m_flight_failure.swap(m_burst_failure);
    std::swap(m_in_flight, m_appended);
    m_flight = flight::sent;
    m_flight_started = metrics::counts().started();
    if (m_in_flight.empty())
        return;
    hand_over(m_in_flight, 0);
    // Written out now, so that Redis works while the caller does. A failed
    // write leaves the connection broken, and settling heals it.
    int done = 0;
    while (done == 0 && redisBufferWrite(m_context_ptr.get(), &done) == REDIS_OK) {
    }
}

void context::settle_burst() {
    if (m_flight == flight::none)
        return;
    const cleared_on_exit clear{m_in_flight};
    const bool sent = m_flight == flight::sent;
    m_flight = flight::none;
    std::string failure;
    failure.swap(m_flight_failure);
    if (sent && !m_in_flight.empty())
        answer(m_in_flight, m_flight_started);
    if (!failure.empty())
        KEL_THROW(failure);
}

void context::settle_early() {
    if (m_flight != flight::sent)
        return;
    std::string failure;
    try {
        settle_burst();
    } catch (const libs::core::exception& e) {
        failure = e.get_string_error();
    }
    m_flight = flight::settled_early;
    m_flight_failure = std::move(failure);
}

void* context::timed_send(const sender& send) {
    const auto started = metrics::counts().started();
    void* raw = send(*m_context_ptr);
    counted_round_trip(1, started);
    return raw;
}

void context::counted_round_trip(std::size_t commands, metrics::clock::time_point started) {
    m_commands += commands;
    ++m_round_trips;
    metrics::counts().redis_round_trip(commands, started);
}

// A hiredis context that lost its connection stays unusable; it is replaced
// only by one that is connected, authenticated and on the database, so a
// failed attempt leaves the broken one for the next command to retry.
void context::reconnect(const std::string& name) {
    const std::string lost = lost_connection_text(*m_context_ptr);
    try {
        m_context_ptr = connect(m_host, m_port, m_db, m_password);
    } catch (const libs::core::exception& e) {
        metrics::counts().redis_error();
        KEL_THROW("Command: " + name + ", error: connection lost (" + lost + "), reconnect failed: " +
                  e.get_string_error());
    }
    ++m_reconnects;
    metrics::counts().redis_reconnect();
}

reply context::execute_command_argv(const std::vector<const char*>& args) {
    KEL_CHECK(!args.empty());
    std::vector<std::size_t> lengths;
    lengths.reserve(args.size());
    for (const char* arg : args)
        lengths.push_back(std::strlen(arg));
    return execute([&] { return describe(args); }, [&](redisContext& c) {
        return redisCommandArgv(&c, static_cast<int>(args.size()), const_cast<const char**>(args.data()),
                                lengths.data());
    });
}

void context::append_command_argv(const std::vector<const char*>& args) {
    KEL_CHECK(!args.empty());
    std::vector<std::size_t> lengths;
    lengths.reserve(args.size());
    for (const char* arg : args)
        lengths.push_back(std::strlen(arg));
    char* formatted = nullptr;
    const int length = redisFormatCommandArgv(&formatted, static_cast<int>(args.size()),
                                              const_cast<const char**>(args.data()), lengths.data());
    append_formatted(args.front(), formatted, length);
}

void context::append_formatted(const std::string& format, char* formatted, int length) {
    if (length < 0)
        KEL_THROW("Command: " + format + ", error: cannot format the command");
    m_appended.bytes.append(formatted, static_cast<std::size_t>(length));
    redisFreeCommand(formatted);
    m_appended.ends.push_back(m_appended.bytes.size());
}

// The unified request form: "*<count>", then "$<length>" and the bytes of
// each argument, every part ended by CRLF, as hiredis writes it.
//
// Every record save and every carried zone's move formats a command of some
// twenty arguments; appending each piece to the string cost about 20
// instructions a call, four calls an argument, 11 % of the service's main
// thread. So the string grows once, to a bound on the command's size, the
// pieces are copied in place, and the string is cut to what was written.
void context::format_command(std::string& out, std::initializer_list<boost::string_view> args) {
    // "*" or "$", at most 20 digits of a size_t, CRLF.
    constexpr std::size_t number_bound = 1 + 20 + 2;
    std::size_t bound = number_bound;
    for (const auto& arg : args)
        bound += number_bound + arg.size() + 2;
    const std::size_t start = out.size();
    out.resize(start + bound);
    char* const begin = &out[0] + start;
    char* p = begin;
    const auto number = [&p](char kind, std::size_t value) {
        *p++ = kind;
        p = std::to_chars(p, p + 20, value).ptr;
        *p++ = '\r';
        *p++ = '\n';
    };
    number('*', args.size());
    for (const auto& arg : args) {
        number('$', arg.size());
        if (!arg.empty())
            std::memcpy(p, arg.data(), arg.size());
        p += arg.size();
        *p++ = '\r';
        *p++ = '\n';
    }
    out.resize(start + static_cast<std::size_t>(p - begin));
}

void context::append_command_views(std::initializer_list<boost::string_view> args) {
    KEL_CHECK(args.size() != 0);
    format_command(m_appended.bytes, args);
    m_appended.ends.push_back(m_appended.bytes.size());
}

reply context::execute_command_views(std::initializer_list<boost::string_view> args) {
    KEL_CHECK(args.size() != 0);
    std::string request;
    format_command(request, args);
    return execute([&request] { return describe_protocol(request); }, [&request](redisContext& c) -> void* {
        void* raw = nullptr;
        if (redisAppendFormattedCommand(&c, request.data(), request.size()) != REDIS_OK ||
            redisGetReply(&c, &raw) != REDIS_OK)
            return nullptr;
        return raw;
    });
}

void context::hand_over(const commands& sent, std::size_t from) {
    const std::size_t start = sent.start_of(from);
    redisAppendFormattedCommand(m_context_ptr.get(), sent.bytes.data() + start, sent.bytes.size() - start);
}

std::string context::describe_appended(const commands& sent, std::size_t index) {
    const std::size_t start = sent.start_of(index);
    return describe_protocol(sent.bytes.substr(start, sent.ends[index] - start));
}

void context::flush_appended() {
    if (!m_in_burst)
        flush_now();
}

void context::flush_now() {
    settle_early();
    if (m_appended.empty())
        return;
    // Whatever happens below, the appended commands are done with.
    const cleared_on_exit clear{m_appended};
    const auto started = metrics::counts().started();
    hand_over(m_appended, 0);
    answer(m_appended, started);
}

void context::answer(const commands& sent, metrics::clock::time_point started) {
    const std::size_t count = sent.count();
    std::string first_error;
    const std::size_t lost = read_replies(sent, 0, first_error);
    counted_round_trip(count, started);
    if (lost < count) {
        // The unanswered commands go once more on a new connection.
        reconnect(describe_appended(sent, lost));
        const auto resent = metrics::counts().started();
        hand_over(sent, lost);
        const std::size_t lost_again = read_replies(sent, lost, first_error);
        counted_round_trip(count - lost, resent);
        if (lost_again < count) {
            metrics::counts().redis_error();
            KEL_THROW("Command: " + describe_appended(sent, lost_again) + ", error: no reply, connection lost: " +
                      lost_connection_text(*m_context_ptr));
        }
    }
    if (!first_error.empty())
        throw reply_error(first_error, KEL_SOURCE_LOCATION());
}

// A pipeline's writes answer "+OK" or a count: only their errors matter, so
// the rest are not built into reply objects.
std::size_t context::read_replies(const commands& sent, std::size_t from, std::string& first_error) {
    const unbuilt_replies unbuilt(*m_context_ptr);
    for (std::size_t i = from; i < sent.count(); ++i) {
        void* raw = nullptr;
        if (redisGetReply(m_context_ptr.get(), &raw) != REDIS_OK || raw == nullptr)
            return i;
        if (raw == unbuilt_replies::done())
            continue;
        const reply result(static_cast<redisReply*>(raw));
        if (result.get_type() != reply_type::ERROR)
            continue;
        metrics::counts().redis_error();
        if (first_error.empty())
            first_error = "Command: " + describe_appended(sent, i) + ", error: " + result.to_string();
    }
    return sent.count();
}

reply context::flush_db() {
    return execute_command("FLUSHDB");
}

// Sent as an argument list so that any key is safe.
reply context::get_set_members(const std::string& key) {
    return execute_command_argv({"SMEMBERS", key.c_str()});
}

reply context::get_from_table(const std::string& key, const std::string& field) {
    return execute_command_argv({"HGET", key.c_str(), field.c_str()});
}

reply context::get_from_table(const std::string& key, std::initializer_list<field_ref> fields) {
    std::vector<const char*> args{"HMGET", key.c_str()};
    for (const std::string& field : fields)
        args.push_back(field.c_str());
    return execute_command_argv(args);
}

reply context::set_to_table(const std::string& key, const std::string& field, const std::string& value) {
    return execute_command_argv({"HSET", key.c_str(), field.c_str(), value.c_str()});
}

reply context::set_to_table(const std::string& key, std::initializer_list<field_value_refs> fields) {
    std::vector<const char*> args{"HMSET", key.c_str()};
    for (const auto& field : fields) {
        args.push_back(field.first.get().c_str());
        args.push_back(field.second.get().c_str());
    }
    return execute_command_argv(args);
}

reply context::increment_in_table(const std::string& key, const std::string& field, const std::string& value) {
    return execute_command_argv({"HINCRBY", key.c_str(), field.c_str(), value.c_str()});
}

reply context::delete_from_table(const std::string& key, const std::string& field) {
    return execute_command_argv({"HDEL", key.c_str(), field.c_str()});
}

}  // namespace kel::redis
