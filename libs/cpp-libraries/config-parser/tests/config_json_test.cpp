#include "config_parser/config.h"

#include <boost/optional/optional_io.hpp>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kel::libs::config {
namespace {

config::ptr parse(const std::string& text) {
    std::istringstream stream(text);
    return config::create<config::type::json>(stream);
}

std::string parse_error(const std::string& text) {
    try {
        parse(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

TEST(config_json, invalid_json_cannot_be_parsed) {
    EXPECT_EQ(parse_error("{\"a\": ").rfind("Cannot parse json: ", 0), 0u);
    EXPECT_GT(parse_error("{\"a\": ").size(), std::string("Cannot parse json: ").size());
}

TEST(config_json, number_outside_32_bits_is_not_an_int) {
    auto c = parse(R"({"big": 4294967296, "small": -2147483649, "huge": 1e300, "max": 2147483647,
                      "min": -2147483648, "nested": {"port": 99999999999}})");
    EXPECT_EQ(c->get_by_path<int>({"max"}).value(), 2147483647);
    EXPECT_EQ(c->get_by_path<int>({"min"}).value(), -2147483647 - 1);
    EXPECT_EQ(c->get_by_path<int>({"big"}).reason(), "Can not find field <int>: big");
    EXPECT_EQ(c->get_by_path<int>({"small"}).reason(), "Can not find field <int>: small");
    EXPECT_EQ(c->get_by_path<int>({"huge"}).reason(), "Can not find field <int>: huge");
    EXPECT_EQ(c->get_by_path<int>({"nested", "port"}).reason(), "Can not find field <int>: nested.port");
    EXPECT_EQ(c->get_by_path<double>({"big"}).value(), 4294967296.0);
}

TEST(config_json, missing_and_mistyped_leaves_give_the_same_field_reason) {
    auto c = parse(R"({"proxy": {"address": "host", "port": "5555"}})");
    EXPECT_EQ(c->get_by_path<int>({"proxy", "port"}).reason(), "Can not find field <int>: proxy.port");
    EXPECT_EQ(c->get_by_path<int>({"proxy", "absent"}).reason(), "Can not find field <int>: proxy.absent");
    EXPECT_EQ(c->get_by_path<std::string>({"proxy", "none"}).reason(), "Can not find field <string>: proxy.none");
    EXPECT_EQ(c->get_by_path<bool>({"proxy", "address"}).reason(), "Can not find field <bool>: proxy.address");
    EXPECT_EQ(c->get_by_path<value::array>({"proxy"}).reason(), "Can not find field <array>: proxy");
}

TEST(config_json, missing_or_scalar_object_on_the_way_gives_the_object_reason) {
    auto c = parse(R"({"a": {"b": 3, "c": {}}, "s": "text"})");
    EXPECT_EQ(c->get_by_path<int>({"x", "y"}).reason(), "Can not find object <object>: x, path: x.y");
    EXPECT_EQ(c->get_by_path<int>({"s", "y"}).reason(), "Can not find object <object>: s, path: s.y");
    EXPECT_EQ(c->get_by_path<int>({"a", "b", "z"}).reason(), "Can not find object <object>: a.b, path: a.b.z");
    EXPECT_EQ(c->get_by_path<int>({"a", "q", "r", "z"}).reason(),
              "Can not find object <object>: a.q, path: a.q.r.z");
    EXPECT_EQ(c->get_by_path<int>({"a", "c", "z"}).reason(), "Can not find field <int>: a.c.z");
}

TEST(config_json, lookups_chain_into_one_check) {
    auto c = parse(R"({"a": {"x": 1}, "b": "text"})");
    auto all = c->get_by_path<int>({"a", "x"}) + c->get_by_path<int>({"a", "y"}) +
               c->get_by_path<std::string>({"b"}) + c->get_by_path<bool>({"z", "w"});
    EXPECT_FALSE(all.ok());
    EXPECT_EQ(all.reason(), "Can not find field <int>: a.y\nCan not find object <object>: z, path: z.w");
}

}  // namespace
}  // namespace kel::libs::config
