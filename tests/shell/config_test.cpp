// The service's configuration record read from JSON text.
#include "config.h"

#include "core/exception.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Keys of a complete file; a case removes or replaces some of them.
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

// The complete file with `changes` applied; an empty text removes the key.
std::string file_with(const entries& changes) {
    auto keys = valid_entries();
    for (const auto& [key, json] : changes) {
        if (json.empty())
            keys.erase(key);
        else
            keys[key] = json;
    }
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
std::string error_of(const std::string& text) {
    try {
        read(text);
    } catch (const kel::libs::core::exception& e) {
        return e.get_string_error();
    }
    return "no error";
}

TEST(config, complete_file_fills_every_field) {
    const auto c = read(file_with({}));
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

TEST(config, optional_and_unchecked_values) {
    auto c = read(file_with({{"metrics", R"({"address": "127.0.0.1", "port": 9464})"},
                             {"proxy", R"({"address": "h", "output_port": -1, "input_port": 70000})"},
                             {"server", R"({"protocol": "http", "address": "s", "timeout": -5})"},
                             {"ignored_zone_types", R"(["parking", "parking"])"}}));
    ASSERT_TRUE(c.metrics_endpoint);
    EXPECT_EQ(c.metrics_endpoint->address, "127.0.0.1");
    EXPECT_EQ(c.metrics_endpoint->port, 9464);
    EXPECT_EQ(c.proxy_output, "tcp://h:-1") << "ports and timeout are not range checked";
    EXPECT_EQ(c.proxy_input, "tcp://h:70000");
    EXPECT_EQ(c.server_timeout, -5);
    EXPECT_EQ(c.ignored_zone_types, (std::set<std::string>{"parking"}));
    EXPECT_TRUE(read(file_with({{"ignored_zone_types", "[]"}})).ignored_zone_types.empty());
}

// A missing, non-object or non-boolean "debug" takes the defaults.
TEST(config, debug_falls_back_to_its_defaults) {
    for (const std::string debug :
         {"", "true", R"({"send_events_to_pubsub": 0, "print_events_to_log": "true", "debug_output": 1})"}) {
        const auto c = read(file_with({{"debug", debug}}));
        EXPECT_TRUE(c.send_events_to_pubsub) << debug;
        EXPECT_FALSE(c.print_events_to_log) << debug;
        EXPECT_FALSE(c.debug_output) << debug;
    }
}

TEST(config, each_bad_file_is_refused_with_every_reason) {
    const std::string invalid = "Config file is invalid: ";
    const std::string no_input_port = R"({"address": "10.1.2.3", "output_port": 5555})";
    const std::string all_missing = invalid +
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
    const std::vector<std::pair<entries, std::string>> cases{
        // In key order, one per line: redis.password comes first in its object yet second here.
        {{{"redis", R"({"host": "redis.local", "port": 6380})"},
          {"proxy", R"({"address": "10.1.2.3", "input_port": 5556})"}},
         "Can not find field <int>: proxy.output_port\nCan not find field <string>: redis.password"},
        {{{"system", ""}}, "Can not find object <object>: system, path: system.pidfile"},
        {{{"redis", R"({"host": "redis.local", "port": "6380", "password": "secret"})"}},
         "Can not find field <int>: redis.port"},
        {{{"proxy", R"({"address": "10.1.2.3", "output_port": 4294972851, "input_port": 5556})"}},
         "Can not find field <int>: proxy.output_port"},
        {{{"ignored_zone_types", R"(["parking", 7, "corridor"])"}}, "ignored_zone_types: not a string on pos: 1"},
        {{{"ignored_zone_types", R"([{"name": "parking"}])"}}, "ignored_zone_types: not a string on pos: 0"},
        {{{"ignored_zone_types", R"("parking")"}}, "Can not find field <array>: ignored_zone_types"},
        {{{"ignored_zone_types", ""}}, "Can not find field <array>: ignored_zone_types"},
        // A bad "metrics" object comes after the other keys' reasons.
        {{{"proxy", no_input_port}, {"metrics", R"({"port": 9464})"}},
         "Can not find field <int>: proxy.input_port\nCan not find field <string>: metrics.address"},
        {{{"proxy", no_input_port}, {"metrics", R"({"address": 1, "port": "9464"})"}},
         "Can not find field <int>: proxy.input_port\nCan not find field <string>: metrics.address\n"
         "Can not find field <int>: metrics.port"},
        {{{"metrics", R"({"address": "127.0.0.1", "port": 65536})"}}, "Port out of range 0..65535: metrics.port"},
        {{{"metrics", R"({"address": "127.0.0.1", "port": -1})"}}, "Port out of range 0..65535: metrics.port"},
        {{{"metrics", "9464"}},
         "Can not find object <object>: metrics, path: metrics.address\n"
         "Can not find object <object>: metrics, path: metrics.port"},
    };
    for (const auto& [changes, reasons] : cases)
        EXPECT_EQ(error_of(file_with(changes)), invalid + reasons) << reasons;
    EXPECT_EQ(error_of("[" + file_with({}) + "]"), all_missing);
    EXPECT_EQ(error_of("42"), all_missing);
    for (const std::string broken : {"", R"({"proxy": {)"})
        EXPECT_EQ(error_of(broken).rfind("Cannot parse json: ", 0), 0u) << broken;
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
