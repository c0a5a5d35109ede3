#pragma once

#include "support/child_process.h"
#include "support/temp_dir.h"

#include <hiredis/hiredis.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kel::test {

// A real redis-server on a free loopback port, in its own temporary
// directory, with persistence off. Ready (answers PING) once constructed;
// stopped with SIGTERM when destroyed.
class redis_server {
public:
    explicit redis_server(const std::string& password = "");
    ~redis_server();

    int port() const { return m_port; }
    const std::string& password() const { return m_password; }
    // Runs a command against this server (database `db`) and returns what
    // redis-cli would print for it, e.g. cli({"KEYS", "*"}); "" when the
    // server does not answer within 10 s. One connection serves every call
    // until the server is stopped or it breaks.
    std::string cli(const std::vector<std::string>& arguments, int db = 10) const;
    // The same output split into lines, blank ones dropped (redis-cli shows
    // an empty list as one blank line).
    std::vector<std::string> cli_lines(const std::vector<std::string>& arguments, int db = 10) const;
    // The first of those lines, "" when there is none: the answer to a
    // command with one value, such as GET or HGET.
    std::string cli_line(const std::vector<std::string>& arguments, int db = 10) const;
    // The fields and values of the hash at `key` in Redis's order; empty
    // when there is none.
    std::vector<std::pair<std::string, std::string>> hash(const std::string& key) const;
    // The members of the set at `key`.
    std::set<std::string> members(const std::string& key) const;
    // Kills the server and starts it again, empty, on the same port.
    void restart();
    // Kills the server (SIGKILL, no clean shutdown); restart() brings it
    // back on the same port.
    void kill();
    // Sends a signal to the server, e.g. SIGSTOP to freeze it: it keeps its
    // connections but answers nothing until SIGCONT.
    void send_signal(int signal) const;
    void stop();

private:
    struct context_free {
        void operator()(redisContext* c) const { redisFree(c); }
    };

    void start();
    bool answers_ping() const;
    // The cached connection, made (and authenticated) when there is none.
    redisContext* connection() const;

    temp_dir m_dir;
    std::string m_password;
    int m_port = 0;
    std::unique_ptr<child_process> m_process;
    mutable std::unique_ptr<redisContext, context_free> m_connection;
    mutable int m_db = -1;
};

}  // namespace kel::test
