// The real quorvane binary run as a child process: its exit statuses and
// its pid file.
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using kel::test::child_process;

class main_process : public ::testing::Test {
protected:
    std::string config_text(const std::string& pidfile) const {
        return R"({
  "proxy": {"address": "127.0.0.1", "output_port": 1, "input_port": 2},
  "server": {"protocol": "http", "address": "127.0.0.1:1", "timeout": 1},
  "redis": {"host": "127.0.0.1", "port": 1, "password": ""},
  "system": {"pidfile": ")" + pidfile + R"("},
  "ignored_zone_types": []
})";
    }

    std::string valid_config() { return m_dir.write("quorvane.json", config_text(pid_path())); }
    std::string pid_path() const { return m_dir.file("quorvane.pid"); }

    std::unique_ptr<child_process> start(const std::vector<std::string>& args) {
        return std::make_unique<child_process>(QUORVANE_BINARY, args, m_dir.file("output"));
    }

    int exit_status(const std::vector<std::string>& args) {
        auto child = start(args);
        const auto status = child->wait_exit(20s);
        return status ? *status : -1;
    }

    // SIGTERM is ours once the process has installed its handler; before
    // that it would kill the process instead of stopping it.
    static bool catches_sigterm(pid_t pid) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigCgt:", 0) == 0) {
                const auto mask = std::stoull(line.substr(7), nullptr, 16);
                return (mask >> (SIGTERM - 1)) & 1u;
            }
        }
        return false;
    }

    kel::test::temp_dir m_dir;
};

TEST_F(main_process, usage_errors_exit_with_one) {
    EXPECT_EQ(exit_status({}), 1);
    EXPECT_EQ(exit_status({"-c", ""}), 1);
    EXPECT_EQ(exit_status({"-x"}), 1);
    EXPECT_EQ(exit_status({"-c"}), 1);
}

// Before the configuration is applied, syslog may be read by no one (a
// container): a failed start says why on standard error, naming the path
// and the system's reason.
TEST_F(main_process, start_up_failures_say_why_on_standard_error) {
    struct failure {
        std::string config_path;
        std::string expected;
    };
    const std::string no_dir_pid = m_dir.file("no/such/dir/quorvane.pid");
    const std::vector<failure> failures = {
        {m_dir.file("missing.json"),
         "Cannot read configuration file " + m_dir.file("missing.json") + ": No such file or directory"},
        {m_dir.path(), "Cannot read configuration file " + m_dir.path() + ": Is a directory"},
        {m_dir.write("empty.json", ""), "Cannot read configuration file " + m_dir.file("empty.json") + ": empty file"},
        {m_dir.write("bad.json", "{"), "Cannot parse json: "},
        {m_dir.write("nopid.json", config_text(no_dir_pid)),
         "Error opening pid-file! " + no_dir_pid + ": No such file or directory"},
    };
    for (const auto& f : failures) {
        const auto output = m_dir.file("stderr-" + std::to_string(&f - failures.data()));
        child_process child(QUORVANE_BINARY, {"-c", f.config_path}, output);
        EXPECT_EQ(child.wait_exit(20s), 1) << f.config_path;
        EXPECT_NE(kel::test::read_file(output).find(f.expected), std::string::npos)
            << "expected \"" << f.expected << "\" in: " << kel::test::read_file(output);
    }
}

TEST_F(main_process, live_pid_refuses_to_start_and_keeps_the_file) {
    const auto config = valid_config();
    std::ofstream(pid_path()) << getpid();
    EXPECT_EQ(exit_status({"-c", config}), 1);
    EXPECT_EQ(kel::test::read_file(pid_path()), std::to_string(getpid()));
}

TEST_F(main_process, runs_writes_its_pid_and_stops_cleanly_on_sigterm) {
    auto child = start({"-c", valid_config()});
    const auto pid = std::to_string(child->pid());
    ASSERT_TRUE(kel::test::wait_until([&] { return catches_sigterm(child->pid()); }, 20s));
    EXPECT_EQ(kel::test::read_file(pid_path()), pid);
    child->send_signal(SIGTERM);
    EXPECT_EQ(child->wait_exit(20s), 0);
    EXPECT_EQ(kel::test::read_file(pid_path()), pid) << "the pid file stays after exit";
}

}  // namespace
