// What operators watch the running service through: the metrics endpoint,
// scraped over HTTP, and the notifications a service manager receives on a
// NOTIFY_SOCKET of the test's own.
#include "e2e/service_fixture.h"

#include "loopback_http/http_get.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

class operations_test : public ::testing::Test, public kel::test::service_fixture {
protected:
    // The value of one series in a scrape; -1 when it is not there.
    static double value_of(const std::string& scrape, const std::string& series) {
        const auto at = scrape.find("\n" + series + " ");
        if (at == std::string::npos)
            return -1;
        return std::stod(scrape.substr(at + series.size() + 2));
    }
};

TEST_F(operations_test, the_metrics_endpoint_counts_messages_events_and_redis_traffic) {
    add_room("room", 0, 0, 10000, 10000);
    add_tag("tagA");
    serve_site();
    m_metrics["address"] = "127.0.0.1";
    m_metrics["port"] = 0;
    start();
    std::smatch found;
    ASSERT_TRUE(wait_log("Metrics served on"));
    const std::string text = log();
    ASSERT_TRUE(std::regex_search(text, found, std::regex("Metrics served on (http://127\\.0\\.0\\.1:[0-9]+/metrics)")));
    const std::string url = found[1];

    position("tagA", 5000, 5000);
    position("tagA", 5010, 5000);
    ASSERT_EQ(summary(next_event()), "enter tagA room");
    position("ghost", 1, 1);
    m_output.send(zmq::buffer(std::string("$pos{not json")));
    m_output.send(zmq::buffer(std::string("#pos{\"dev_id\":\"tagA\",\"x\":\"five\"}")));

    std::string scrape;
    const bool counted = kel::test::wait_until(
        [&] {
            scrape = kel::libs::loopback_http::http_get(url);
            return value_of(scrape, "quorvane_messages_received_total{topic=\"$pos\"}") == 4 &&
                   value_of(scrape, "quorvane_messages_received_total{topic=\"#pos\"}") == 1;
        },
        10s);
    ASSERT_TRUE(counted) << scrape;
    EXPECT_EQ(value_of(scrape, "quorvane_messages_rejected_total{reason=\"unknown_object\",topic=\"$pos\"}"), 1);
    EXPECT_EQ(value_of(scrape, "quorvane_messages_rejected_total{reason=\"not_json\",topic=\"$pos\"}"), 1);
    EXPECT_EQ(value_of(scrape, "quorvane_messages_rejected_total{reason=\"field_error\",topic=\"$pos\"}"), 0);
    EXPECT_EQ(value_of(scrape, "quorvane_messages_rejected_total{reason=\"field_error\",topic=\"#pos\"}"), 1);
    EXPECT_EQ(value_of(scrape, "quorvane_events_sent_total{action=\"enter\"}"), 1);
    EXPECT_EQ(value_of(scrape, "quorvane_events_sent_total{action=\"leave\"}"), 0);
    EXPECT_EQ(value_of(scrape, "quorvane_zones"), 1);
    EXPECT_EQ(value_of(scrape, "quorvane_trackable_objects"), 1);
    EXPECT_EQ(value_of(scrape, "quorvane_records"), 1);
    EXPECT_GT(value_of(scrape, "quorvane_redis_commands_total"), 0);
    EXPECT_GT(value_of(scrape, "quorvane_redis_round_trip_seconds_count"), 0);
    // Bursts hold one message or more, as they arrive.
    const double bursts = value_of(scrape, "quorvane_loop_burst_seconds_count");
    EXPECT_GE(bursts, 1);
    EXPECT_LE(bursts, 5);
    EXPECT_GE(value_of(scrape, "quorvane_loop_lag_seconds"), 0);
    EXPECT_NE(scrape.find("\nquorvane_build_info{subversion="), std::string::npos) << scrape;
    EXPECT_EQ(stop(), 0);
}

TEST_F(operations_test, the_service_manager_hears_of_the_start_the_loop_and_the_stop) {
    const std::string socket_path = m_dir.file("notify.sock");
    const int manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(manager, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket_path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(manager, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    const timeval wait{0, 100000};
    ::setsockopt(manager, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    std::vector<std::string> heard;
    const auto hear = [&] {
        char buffer[512];
        const auto size = ::recv(manager, buffer, sizeof(buffer), 0);
        if (size > 0)
            heard.emplace_back(buffer, static_cast<std::size_t>(size));
    };
    const auto count = [&](const std::string& line) {
        std::size_t n = 0;
        for (const auto& h : heard)
            n += h == line;
        return n;
    };

    add_tag("tagA");
    serve_site();
    ::setenv("NOTIFY_SOCKET", socket_path.c_str(), 1);
    ::setenv("WATCHDOG_USEC", "200000", 1);
    launch();
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
    EXPECT_TRUE(kel::test::wait_until(
        [&] {
            hear();
            return count("WATCHDOG=1") >= 2;
        },
        20s));
    ASSERT_GE(heard.size(), 3u);
    EXPECT_EQ(heard[0], "STATUS=Connecting to Redis at 127.0.0.1:" + std::to_string(m_redis->port()));
    EXPECT_EQ(heard[1], "STATUS=Loading the site from http://127.0.0.1:" + std::to_string(m_http.port()));
    EXPECT_EQ(heard[2], "READY=1\nSTATUS=Running");
    EXPECT_NE(log().find("init done"), std::string::npos);
    EXPECT_EQ(log().find("Metrics served"), std::string::npos);

    EXPECT_EQ(stop(), 0);
    EXPECT_TRUE(kel::test::wait_until(
        [&] {
            hear();
            return count("STOPPING=1") == 1;
        },
        5s));
    ::close(manager);
}

}  // namespace
