#include "core/exception.h"
#include "core/pid_file.h"

#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using kel::libs::core::detail::check_pid;
using kel::libs::core::detail::write_pid;

class pid_file : public ::testing::Test {
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

    pid_t dead_pid() {
        kel::test::child_process child("true", {});
        child.wait_exit(std::chrono::seconds(10));
        return child.pid();
    }

    kel::test::temp_dir m_dir;
};

TEST_F(pid_file, missing_empty_zero_or_garbage_does_not_block) {
    EXPECT_EQ(check_message(m_dir.file("absent")), "");
    EXPECT_EQ(check_message(with_content("")), "");
    EXPECT_EQ(check_message(with_content("0")), "");
    EXPECT_EQ(check_message(with_content("garbage")), "");
}

TEST_F(pid_file, stale_pid_does_not_block) {
    EXPECT_EQ(check_message(with_content(std::to_string(dead_pid()))), "");
}

TEST_F(pid_file, live_pid_blocks_and_keeps_the_file) {
    const auto path = with_content(std::to_string(getpid()));
    EXPECT_EQ(check_message(path), "Process is running");
    EXPECT_EQ(kel::test::read_file(path), std::to_string(getpid()));
}

TEST_F(pid_file, negative_number_is_not_taken_for_a_process_group) {
    // kill(-1, 0) would probe every process and always succeed.
    EXPECT_EQ(check_message(with_content("-1")), "");
    EXPECT_EQ(check_message(with_content("-42")), "");
}

TEST_F(pid_file, write_stores_the_bare_decimal_pid) {
    const auto path = with_content("12345678\n");
    write_pid(path);
    EXPECT_EQ(kel::test::read_file(path), std::to_string(getpid()));
}

TEST_F(pid_file, write_into_a_missing_directory_fails) {
    try {
        write_pid(m_dir.file("no/such/dir/pid"));
        FAIL();
    } catch (const kel::libs::core::exception& e) {
        EXPECT_EQ(e.get_string_error(), "Error opening pid-file!");
    }
}

}  // namespace
