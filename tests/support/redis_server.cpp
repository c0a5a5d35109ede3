#include "support/redis_server.h"

#include "support/wait.h"

#include <signal.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace kel::test {

namespace {

std::string shell_quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string run_capture(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return output;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    ::pclose(pipe);
    return output;
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
    std::vector<std::string> args{"--port", std::to_string(m_port), "--bind", "127.0.0.1", "--save", "",
                                  "--appendonly", "no", "--dir", m_dir.path()};
    if (!m_password.empty()) {
        args.push_back("--requirepass");
        args.push_back(m_password);
    }
    m_process = std::make_unique<child_process>("redis-server", args, m_dir.file("redis.log"));
}

void redis_server::stop() {
    if (!m_process)
        return;
    m_process->send_signal(SIGTERM);
    if (!m_process->wait_exit(std::chrono::seconds(10)))
        m_process->send_signal(SIGKILL);
    m_process.reset();
}

void redis_server::kill() {
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

std::string redis_server::cli(const std::vector<std::string>& arguments, int db) const {
    std::string command = "redis-cli --no-auth-warning -h 127.0.0.1 -p " + std::to_string(m_port) + " -n " +
                          std::to_string(db);
    if (!m_password.empty())
        command += " -a " + shell_quote(m_password);
    for (const auto& a : arguments)
        command += " " + shell_quote(a);
    return run_capture(command + " 2>/dev/null");
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

}  // namespace kel::test
