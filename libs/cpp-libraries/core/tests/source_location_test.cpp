#include "core/constants.h"
#include "core/exception.h"
#include "core/source_location.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using kel::libs::core::source_location;

std::string short_name(const char* signature) {
    return std::string(source_location(1, "f", signature).short_function());
}

TEST(source_location, short_function_keeps_the_qualified_name) {
    EXPECT_EQ(short_name("void kel::events_generator::after_updating(const kel::context::zone&, int)"),
              "kel::events_generator::after_updating");
    EXPECT_EQ(short_name("kel::x::result kel::x::f(int)"), "kel::x::f");
}

TEST(source_location, strips_the_source_directory) {
    const std::string file = kel::libs::core::constants::source_directory + "src/main.cpp";
    EXPECT_EQ(source_location::remove_directory_prefix(file), "src/main.cpp");
    EXPECT_EQ(source_location::remove_directory_prefix("x"), "");
}

TEST(exceptions, describe_gives_file_line_and_message) {
    const kel::libs::core::exception e("boom", source_location(42, __FILE__, "f"));
    std::ostringstream os;
    e.describe(os);
    EXPECT_EQ(os.str(), std::string(source_location::remove_directory_prefix(__FILE__)) + ":42 boom");
    EXPECT_EQ(std::string(e.what()), std::string(source_location::remove_directory_prefix(__FILE__)) + ":42");
}

TEST(exceptions, check_failure_names_the_expression) {
    try {
        KEL_CHECK(1 + 1 == 3);
        FAIL();
    } catch (const kel::libs::core::check_failed_exception& e) {
        EXPECT_EQ(e.get_string_error(), "1 + 1 == 3");
    }
}

}  // namespace
