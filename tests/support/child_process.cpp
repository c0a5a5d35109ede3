#include "support/child_process.h"

#include "support/wait.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace kel::test {

child_process::child_process(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& output_path) {
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        const int out = ::open(output_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            ::close(out);
        }
        const int in = ::open("/dev/null", O_RDONLY);
        if (in >= 0)
            ::dup2(in, STDIN_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
}

child_process::~child_process() {
    if (running()) {
        ::kill(m_pid, SIGKILL);
        wait_exit(std::chrono::seconds(10));
    }
}

void child_process::send_signal(int signal) const {
    ::kill(m_pid, signal);
}

bool child_process::running() {
    if (m_status)
        return false;
    int status = 0;
    const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return r == 0;
}

std::optional<int> child_process::wait_exit(std::chrono::milliseconds timeout) {
    wait_until([this] { return !running(); }, timeout);
    return m_status;
}

}  // namespace kel::test
