#pragma once

#include "support/child_process.h"
#include "support/temp_dir.h"

#include <memory>
#include <string>
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
    // Runs redis-cli against this server (database `db`) and returns its
    // standard output, e.g. cli({"KEYS", "*"}).
    std::string cli(const std::vector<std::string>& arguments, int db = 10) const;
    // The same output split into lines, blank ones dropped (redis-cli shows
    // an empty list as one blank line).
    std::vector<std::string> cli_lines(const std::vector<std::string>& arguments, int db = 10) const;
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
    void start();
    bool answers_ping() const;

    temp_dir m_dir;
    std::string m_password;
    int m_port = 0;
    std::unique_ptr<child_process> m_process;
};

}  // namespace kel::test
