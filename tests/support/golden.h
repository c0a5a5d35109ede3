#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace kel::test {

// Compares `actual` with the recording at `path` line by line, so that a
// failure names the first line that differs. With QUORVANE_RECORD_GOLDEN
// set it records `actual` instead and skips the test.
inline void expect_golden(const std::string& path, const std::string& actual) {
    if (std::getenv("QUORVANE_RECORD_GOLDEN")) {
        std::ofstream(path) << actual;
        GTEST_SKIP() << "recorded " << path;
    }
    std::ifstream in(path);
    ASSERT_TRUE(in.is_open()) << path;
    std::stringstream expected;
    expected << in.rdbuf();
    std::istringstream got(actual), want(expected.str());
    std::string got_line, want_line;
    for (int line = 1; std::getline(want, want_line); ++line) {
        ASSERT_TRUE(std::getline(got, got_line)) << "line " << line << ": missing; expected\n" << want_line;
        ASSERT_EQ(got_line, want_line) << "line " << line;
    }
    ASSERT_FALSE(std::getline(got, got_line)) << "unexpected extra line: " << got_line;
}

}  // namespace kel::test
