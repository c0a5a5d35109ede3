// The service's configuration record read from JSON text.
#include "config.h"

#include "core/exception.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

// Keys of a complete file; a test removes or replaces some of them.
using entries = std::map<std::string, std::string>;

entries valid_entries() {
    return {
        {"proxy", R"({"address": "10.1.2.3", "output_port": 5555, "input_port": 5556})"},
        {"server", R"({"protocol": "https", "address": "site.example:8443", "timeout": 30})"},
        {"redis", R"({"host": "redis.local", "port": 6380, "password": "secret"})"},
        {"system", R"({"pidfile": "/run/quorvane.pid"})"},
        {"ignored_zone_types", R"(["parking", "corridor"])"},
        {"debug", R"({"send_events_to_pubsub": false, "print_events_to_log": true, "debug_output": true})"},
    };
}

std::string to_json(const entries& keys) {
    std::string text = "{";
    for (const auto& [key, json] : keys)
        text += (text.size() > 1 ? ",\n" : "\n") + ("\"" + key + "\": ") + json;
    return text + "\n}";
}

kel::config read(const std::string& text) {
    std::istringstream stream(text);
    return kel::config(stream);
}

// The message of the exception the constructor throws, or "no error".
std::string error_of(std::istream& stream) {
    try {
        kel::config c(stream);
    } catch (const kel::libs::core::exception& e) {
        return e.get_string_error();
    }
    return "no error";
}

std::string error_of(const std::string& text) {
    std::istringstream stream(text);
    return error_of(stream);
}

TEST(config, complete_file_fills_every_field) {
    const auto c = read(to_json(valid_entries()));
    EXPECT_EQ(c.proxy_output, "tcp://10.1.2.3:5555");
    EXPECT_EQ(c.proxy_input, "tcp://10.1.2.3:5556");
    EXPECT_EQ(c.server_url, "https://site.example:8443");
    EXPECT_EQ(c.server_timeout, 30);
    EXPECT_EQ(c.redis_host, "redis.local");
    EXPECT_EQ(c.redis_port, 6380);
    EXPECT_EQ(c.redis_password, "secret");
    EXPECT_EQ(c.pidfile_path, "/run/quorvane.pid");
    EXPECT_FALSE(c.send_events_to_pubsub);
    EXPECT_TRUE(c.print_events_to_log);
    EXPECT_TRUE(c.debug_output);
    EXPECT_EQ(c.ignored_zone_types, (std::set<std::string>{"corridor", "parking"}));
    EXPECT_FALSE(c.metrics_endpoint);
}

TEST(config, metrics_object_names_the_endpoint) {
    auto keys = valid_entries();
    keys["metrics"] = R"({"address": "127.0.0.1", "port": 9464})";
    const auto c = read(to_json(keys));
    ASSERT_TRUE(c.metrics_endpoint);
    EXPECT_EQ(c.metrics_endpoint->address, "127.0.0.1");
    EXPECT_EQ(c.metrics_endpoint->port, 9464);
}

// A bad "metrics" object is reported after the other keys' reasons, one per
// line, as a missing proxy.input_port is here.
TEST(config, bad_metrics_values_join_the_other_reasons) {
    const std::map<std::string, std::string> cases{
        {R"({"port": 9464})", "Can not find field <string>: metrics.address"},
        {R"({"address": 1, "port": "9464"})",
         "Can not find field <string>: metrics.address\nCan not find field <int>: metrics.port"},
        {R"({"address": "127.0.0.1", "port": 65536})", "Port out of range 0..65535: metrics.port"},
        {R"({"address": "127.0.0.1", "port": -1})", "Port out of range 0..65535: metrics.port"},
        {"9464", "Can not find object <object>: metrics, path: metrics.address\n"
                 "Can not find object <object>: metrics, path: metrics.port"},
    };
    for (const auto& [metrics, reasons] : cases) {
        auto keys = valid_entries();
        keys["proxy"] = R"({"address": "10.1.2.3", "output_port": 5555})";
        keys["metrics"] = metrics;
        EXPECT_EQ(error_of(to_json(keys)),
                  "Config file is invalid: Can not find field <int>: proxy.input_port\n" + reasons)
            << metrics;
    }
}

TEST(config, file_without_debug_takes_the_defaults) {
    auto keys = valid_entries();
    keys.erase("debug");
    const auto c = read(to_json(keys));
    EXPECT_TRUE(c.send_events_to_pubsub);
    EXPECT_FALSE(c.print_events_to_log);
    EXPECT_FALSE(c.debug_output);
}

TEST(config, non_boolean_debug_flags_fall_back_to_their_defaults) {
    auto keys = valid_entries();
    keys["debug"] = R"({"send_events_to_pubsub": 0, "print_events_to_log": "true", "debug_output": 1})";
    const auto c = read(to_json(keys));
    EXPECT_TRUE(c.send_events_to_pubsub);
    EXPECT_FALSE(c.print_events_to_log);
    EXPECT_FALSE(c.debug_output);
}

TEST(config, debug_that_is_not_an_object_takes_the_defaults) {
    auto keys = valid_entries();
    keys["debug"] = "true";
    const auto c = read(to_json(keys));
    EXPECT_TRUE(c.send_events_to_pubsub);
    EXPECT_FALSE(c.print_events_to_log);
    EXPECT_FALSE(c.debug_output);
}

TEST(config, every_missing_key_is_named_in_key_order_on_its_own_line) {
    auto keys = valid_entries();
    // redis.password is listed first in the file, yet reported second.
    keys["redis"] = R"({"host": "redis.local", "port": 6380})";
    keys["proxy"] = R"({"address": "10.1.2.3", "input_port": 5556})";
    EXPECT_EQ(error_of(to_json(keys)),
              "Config file is invalid: Can not find field <int>: proxy.output_port\n"
              "Can not find field <string>: redis.password");
}

TEST(config, missing_object_names_the_object_and_the_whole_path) {
    auto keys = valid_entries();
    keys.erase("system");
    EXPECT_EQ(error_of(to_json(keys)),
              "Config file is invalid: Can not find object <object>: system, path: system.pidfile");
}

TEST(config, port_given_as_string_is_not_an_int) {
    auto keys = valid_entries();
    keys["redis"] = R"({"host": "redis.local", "port": "6380", "password": "secret"})";
    EXPECT_EQ(error_of(to_json(keys)), "Config file is invalid: Can not find field <int>: redis.port");
}

TEST(config, port_outside_32_bits_is_not_an_int) {
    auto keys = valid_entries();
    keys["proxy"] = R"({"address": "10.1.2.3", "output_port": 4294972851, "input_port": 5556})";
    EXPECT_EQ(error_of(to_json(keys)), "Config file is invalid: Can not find field <int>: proxy.output_port");
}

TEST(config, ports_and_timeout_are_not_range_checked) {
    auto keys = valid_entries();
    keys["proxy"] = R"({"address": "h", "output_port": -1, "input_port": 70000})";
    keys["server"] = R"({"protocol": "http", "address": "s", "timeout": -5})";
    const auto c = read(to_json(keys));
    EXPECT_EQ(c.proxy_output, "tcp://h:-1");
    EXPECT_EQ(c.proxy_input, "tcp://h:70000");
    EXPECT_EQ(c.server_timeout, -5);
}

TEST(config, ignored_zone_types_may_be_empty) {
    auto keys = valid_entries();
    keys["ignored_zone_types"] = "[]";
    EXPECT_TRUE(read(to_json(keys)).ignored_zone_types.empty());
}

TEST(config, duplicate_ignored_zone_types_collapse) {
    auto keys = valid_entries();
    keys["ignored_zone_types"] = R"(["parking", "parking"])";
    EXPECT_EQ(read(to_json(keys)).ignored_zone_types, (std::set<std::string>{"parking"}));
}

TEST(config, non_string_ignored_zone_type_is_reported_with_its_position) {
    auto keys = valid_entries();
    keys["ignored_zone_types"] = R"(["parking", 7, "corridor"])";
    EXPECT_EQ(error_of(to_json(keys)), "Config file is invalid: ignored_zone_types: not a string on pos: 1");
    keys["ignored_zone_types"] = R"([{"name": "parking"}])";
    EXPECT_EQ(error_of(to_json(keys)), "Config file is invalid: ignored_zone_types: not a string on pos: 0");
}

TEST(config, ignored_zone_types_must_be_an_array) {
    auto keys = valid_entries();
    keys["ignored_zone_types"] = R"("parking")";
    EXPECT_EQ(error_of(to_json(keys)), "Config file is invalid: Can not find field <array>: ignored_zone_types");
    keys.erase("ignored_zone_types");
    EXPECT_EQ(error_of(to_json(keys)), "Config file is invalid: Can not find field <array>: ignored_zone_types");
}

TEST(config, missing_file_cannot_be_parsed) {
    kel::test::temp_dir dir;
    std::ifstream missing(dir.file("absent.json"));
    EXPECT_EQ(error_of(missing).rfind("Cannot parse json: ", 0), 0u);
}

TEST(config, empty_or_broken_text_cannot_be_parsed) {
    EXPECT_EQ(error_of("").rfind("Cannot parse json: ", 0), 0u);
    EXPECT_EQ(error_of(R"({"proxy": {)").rfind("Cannot parse json: ", 0), 0u);
}

TEST(config, root_that_is_not_an_object_misses_every_required_key) {
    const std::string all_missing =
        "Config file is invalid: "
        "Can not find object <object>: proxy, path: proxy.address\n"
        "Can not find object <object>: proxy, path: proxy.output_port\n"
        "Can not find object <object>: proxy, path: proxy.input_port\n"
        "Can not find object <object>: server, path: server.protocol\n"
        "Can not find object <object>: server, path: server.address\n"
        "Can not find object <object>: server, path: server.timeout\n"
        "Can not find object <object>: redis, path: redis.host\n"
        "Can not find object <object>: redis, path: redis.port\n"
        "Can not find object <object>: redis, path: redis.password\n"
        "Can not find object <object>: system, path: system.pidfile\n"
        "Can not find field <array>: ignored_zone_types";
    EXPECT_EQ(error_of(to_json(valid_entries()).insert(0, "[") + "]"), all_missing);
    EXPECT_EQ(error_of("42"), all_missing);
}

TEST(config, comments_are_accepted) {
    const auto c = read("// quorvane\n/* site A */\n" + to_json(valid_entries()) + " // end\n");
    EXPECT_EQ(c.proxy_output, "tcp://10.1.2.3:5555");
}

TEST(config, error_carries_its_source_location) {
    try {
        read("[]");
        FAIL() << "no error";
    } catch (const kel::libs::core::exception& e) {
        EXPECT_NE(std::string(e.what()).find("config.cpp:"), std::string::npos) << e.what();
    }
}

}  // namespace
