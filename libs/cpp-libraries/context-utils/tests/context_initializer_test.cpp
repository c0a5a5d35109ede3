#include "context_initializer.h"

#include <core/core.h>
#include <core/exception.h>
#include <core/logger.h>

#include "loopback_http/http_server.h"
#include "support/log_capture.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kel::libs::context_utils::context_initializer;
using kel::libs::context_utils::json_template;
using kel::libs::context_utils::object_infos;
using kel::libs::loopback_http::http_server;

class context_initializer_test : public ::testing::Test {
protected:
    context_initializer_test()
        : m_logger("quorvane", "test"),
          m_core(kel::libs::core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("test")),
          m_client(m_loop->create_http_client(m_server.address(), std::chrono::seconds(5))) {
        // Retries come every few milliseconds here: each line is counted.
        m_logger.set_repeat_interval(std::chrono::steady_clock::duration::zero());
    }

    context_initializer make(std::chrono::milliseconds retry_pause = 10ms) {
        return context_initializer(*m_client, *m_loop, m_logger, retry_pause);
    }

    context_initializer::object_callback record(const std::string& kind) {
        return [this, kind](const json_template<kel::libs::context_utils::_json_object_tag>& o) {
            m_loaded.push_back(kind + " " + o.get_json()["uid"].asString());
            return true;
        };
    }

    std::vector<std::string> targets() const {
        std::vector<std::string> t;
        for (const auto& r : m_server.requests())
            t.push_back(r.target);
        return t;
    }

    std::string error_of(const std::function<void()>& f) {
        try {
            f();
        } catch (const kel::libs::core::exception& e) {
            return e.get_string_error();
        }
        return "no error";
    }

    http_server m_server;
    kel::libs::core::logger m_logger;
    kel::test::log_capture m_log{m_logger};
    kel::libs::core::core::ptr m_core;
    kel::libs::core::events_loop::ptr m_loop;
    kel::libs::core::http::client::ptr m_client;
    std::vector<std::string> m_loaded;
};

TEST_F(context_initializer_test, initial_load_walks_the_lists_in_order) {
    m_server.serve("/api/private/track_obj/", R"({"trackableObjects":[{"uid":"t1"},{"uid":"t2"}]})");
    m_server.serve("/api/private/zones/", R"({"zones":[{"uid":"z1"}]})");
    m_server.serve("/api/private/sublocations/", R"({"sublocations":[{"uid":"s1"}]})");
    m_server.serve("/api/private/nodes/", R"({"nodes":[]})");
    auto initializer = make();
    initializer.on_zone_creating(record("zone"));
    initializer.on_trackable_object_creating(record("trackable"));
    initializer.on_sublocation_creating(record("sublocation"));
    initializer.initialize();
    EXPECT_EQ(targets(), (std::vector<std::string>{"/api/private/track_obj/", "/api/private/zones/",
                                                   "/api/private/sublocations/", "/api/private/nodes/"}));
    EXPECT_EQ(m_loaded, (std::vector<std::string>{"trackable t1", "trackable t2", "zone z1", "sublocation s1"}));
}

TEST_F(context_initializer_test, failing_server_is_retried_until_it_answers) {
    const std::string body = "busy" + std::string(996, '.');
    m_server.serve_after("/api/private/zones/", 3, {503, body, {}, 0ms},
                         {200, R"({"zones":[{"uid":"z1"}]})", {}, 0ms});
    auto initializer = make();
    initializer.on_zone_creating(record("zone"));
    EXPECT_TRUE(initializer.for_each_object_on_server(object_infos::zone, record("zone")));
    EXPECT_EQ(m_server.count("/api/private/zones/"), 4u);
    EXPECT_EQ(m_loaded, (std::vector<std::string>{"zone z1"}));
    const auto lines = m_log.take();
    // The body is cut to its first 300 bytes and its size.
    EXPECT_EQ(kel::test::log_capture::count(lines, "Request failed with code: 503, addr: /api/private/zones/, response " +
                                                       body.substr(0, 300) + "... (1000 bytes)"),
              3u);
}

TEST_F(context_initializer_test, stopping_the_loop_interrupts_the_retries) {
    m_server.serve("/api/private/zones/", "busy", 503);
    auto initializer = make(std::chrono::seconds(30));
    std::thread stopper([&] {
        kel::test::wait_until([&] { return m_server.count("/api/private/zones/") > 0; });
        m_loop->stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(error_of([&] { initializer.perform_get_request("/api/private/zones/"); }), "Interrupted");
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the pause ends with the loop";
}

}  // namespace
