#include "support/redis_server.h"

#include "support/wait.h"

#include <signal.h>

#include <sstream>
#include <stdexcept>

namespace kel::test {

namespace {

// Answers as redis-cli prints them when its output is not a terminal: a
// string or status as is, an integer in decimal, nil as nothing, an array's
// elements one per line, an error as its text and a newline. The whole
// answer ends with a newline.
void append_reply(std::string& out, const redisReply& reply) {
    switch (reply.type) {
        case REDIS_REPLY_STRING:
        case REDIS_REPLY_STATUS:
            out.append(reply.str, reply.len);
            break;
        case REDIS_REPLY_ERROR:
            out.append(reply.str, reply.len);
            out += '\n';
            break;
        case REDIS_REPLY_INTEGER:
            out += std::to_string(reply.integer);
            break;
        case REDIS_REPLY_ARRAY:
            for (std::size_t i = 0; i < reply.elements; ++i) {
                if (i > 0)
                    out += '\n';
                append_reply(out, *reply.element[i]);
            }
            break;
        default:
            break;
    }
}

}  // namespace

redis_server::redis_server(const std::string& password) : m_password(password) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = free_port();
        start();
        if (wait_until([this] { return answers_ping() || !m_process->running(); }) && m_process->running())
            return;
        m_process.reset();
    }
    throw std::runtime_error("redis-server did not start");
}

redis_server::~redis_server() {
    stop();
}

void redis_server::start() {
    m_connection.reset();
    std::vector<std::string> args{"--port", std::to_string(m_port), "--bind", "127.0.0.1", "--save", "",
                                  "--appendonly", "no", "--dir", m_dir.path()};
    if (!m_password.empty()) {
        args.push_back("--requirepass");
        args.push_back(m_password);
    }
    m_process = std::make_unique<child_process>("redis-server", args, m_dir.file("redis.log"));
}

void redis_server::stop() {
    m_connection.reset();
    if (!m_process)
        return;
    m_process->send_signal(SIGTERM);
    if (!m_process->wait_exit(std::chrono::seconds(10)))
        m_process->send_signal(SIGKILL);
    m_process.reset();
}

void redis_server::kill() {
    m_connection.reset();
    if (!m_process)
        return;
    m_process->send_signal(SIGKILL);
    m_process->wait_exit(std::chrono::seconds(10));
    m_process.reset();
}

void redis_server::send_signal(int signal) const {
    if (m_process)
        m_process->send_signal(signal);
}

void redis_server::restart() {
    kill();
    start();
    if (!wait_until([this] { return answers_ping(); }))
        throw std::runtime_error("redis-server did not restart");
}

bool redis_server::answers_ping() const {
    return cli({"PING"}, 0).find("PONG") != std::string::npos;
}

redisContext* redis_server::connection() const {
    if (m_connection)
        return m_connection.get();
    const timeval limit{10, 0};
    m_connection.reset(redisConnectWithTimeout("127.0.0.1", m_port, limit));
    m_db = -1;
    if (!m_connection || m_connection->err || redisSetTimeout(m_connection.get(), limit) != REDIS_OK) {
        m_connection.reset();
        return nullptr;
    }
    if (!m_password.empty()) {
        auto* reply = static_cast<redisReply*>(redisCommand(m_connection.get(), "AUTH %s", m_password.c_str()));
        const bool ok = reply && reply->type != REDIS_REPLY_ERROR;
        freeReplyObject(reply);
        if (!ok) {
            m_connection.reset();
            return nullptr;
        }
    }
    return m_connection.get();
}

// A connection broken by the server (CLIENT KILL, a restart) is made again
// once.
std::string redis_server::cli(const std::vector<std::string>& arguments, int db) const {
    std::vector<const char*> pointers;
    std::vector<std::size_t> lengths;
    for (const auto& a : arguments) {
        pointers.push_back(a.data());
        lengths.push_back(a.size());
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        redisContext* c = connection();
        if (!c)
            return "";
        if (m_db != db) {
            auto* selected = static_cast<redisReply*>(redisCommand(c, "SELECT %d", db));
            const bool ok = selected && selected->type != REDIS_REPLY_ERROR;
            freeReplyObject(selected);
            if (!selected) {
                m_connection.reset();
                continue;
            }
            if (!ok)
                return "";
            m_db = db;
        }
        auto* reply = static_cast<redisReply*>(
            redisCommandArgv(c, static_cast<int>(arguments.size()), pointers.data(), lengths.data()));
        if (!reply) {
            m_connection.reset();
            continue;
        }
        std::string out;
        append_reply(out, *reply);
        freeReplyObject(reply);
        return out + "\n";
    }
    return "";
}

std::vector<std::string> redis_server::cli_lines(const std::vector<std::string>& arguments, int db) const {
    std::vector<std::string> lines;
    std::istringstream output(cli(arguments, db));
    for (std::string line; std::getline(output, line);) {
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

std::string redis_server::cli_line(const std::vector<std::string>& arguments, int db) const {
    const auto lines = cli_lines(arguments, db);
    return lines.empty() ? "" : lines.front();
}

std::vector<std::pair<std::string, std::string>> redis_server::hash(const std::string& key) const {
    const auto lines = cli_lines({"HGETALL", key});
    std::vector<std::pair<std::string, std::string>> fields;
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2)
        fields.emplace_back(lines[i], lines[i + 1]);
    return fields;
}

std::set<std::string> redis_server::members(const std::string& key) const {
    const auto lines = cli_lines({"SMEMBERS", key});
    return {lines.begin(), lines.end()};
}

}  // namespace kel::test
