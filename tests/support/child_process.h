#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kel::test {

// A program started with fork/exec, its standard output and error sent to
// files. The destructor kills and reaps a child that is still running.
class child_process {
public:
    child_process(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& output_path = "/dev/null");
    ~child_process();
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    pid_t pid() const { return m_pid; }
    void send_signal(int signal) const;
    // The exit status once the child has exited within `timeout`; empty if
    // it is still running then. A child killed by a signal gives 128 + n.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout);
    bool running();

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

}  // namespace kel::test
