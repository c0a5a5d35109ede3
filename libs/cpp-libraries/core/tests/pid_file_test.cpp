#include "core/exception.h"
#include "core/pid_file.h"

#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using kel::libs::core::detail::check_pid;

class pid_file_test : public ::testing::Test {
protected:
    std::string with_content(const std::string& content) { return m_dir.write("pid", content); }

    std::string check_message(const std::string& path) {
        try {
            check_pid(path);
            return "";
        } catch (const kel::libs::core::exception& e) {
            return e.get_string_error();
        }
    }

    std::string create_message(const std::string& path) {
        try {
            kel::libs::core::pid_file::create(path);
            return "";
        } catch (const kel::libs::core::exception& e) {
            return e.get_string_error();
        }
    }

    pid_t dead_pid() {
        kel::test::child_process child("true", {});
        child.wait_exit(std::chrono::seconds(10));
        return child.pid();
    }

    kel::test::temp_dir m_dir;
};

// A negative number is no process group: kill(-1, 0) would probe every
// process and always succeed.
TEST_F(pid_file_test, missing_empty_garbage_stale_or_negative_does_not_block) {
    EXPECT_EQ(check_message(m_dir.file("absent")), "");
    for (const auto& content : std::vector<std::string>{"", "0", "garbage", "-1", "-42", std::to_string(dead_pid())})
        EXPECT_EQ(check_message(with_content(content)), "") << content;
}

TEST_F(pid_file_test, create_stores_the_bare_decimal_pid) {
    const auto path = with_content("12345678\n");
    const auto held = kel::libs::core::pid_file::create(path);
    EXPECT_EQ(kel::test::read_file(path), std::to_string(getpid()));
}

// The lock alone refuses a second instance, even when what the file records
// does not (here a pid of 0 written over ours).
TEST_F(pid_file_test, a_held_lock_refuses_another_instance_until_released) {
    const auto path = m_dir.file("pid");
    auto held = kel::libs::core::pid_file::create(path);
    std::ofstream(path) << "0";
    EXPECT_EQ(create_message(path), "Process is running");
    EXPECT_EQ(kel::test::read_file(path), "0");
    held.reset();
    EXPECT_EQ(create_message(path), "");
}

}  // namespace
