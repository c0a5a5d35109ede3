// The site's HTTP server goes down during the periodic re-synchronization
// and comes back on the same port.
#include "updater/updater_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kel::test {
namespace {

using namespace std::chrono_literals;

const char* const zones_failed = "Context synchronization: failed to get zones from server";
const char* const complete = "Context synchronization complete";

class resync_fault : public updater_fixture {
protected:
    void start_with_short_period() {
        // Each failure's line is counted, however close to the previous one.
        m_logger.set_repeat_interval(std::chrono::steady_clock::duration::zero());
        start(200ms);
        run_until([&] { return logged(complete) >= 1; });
    }

    // Back on the same port, listing `zones` and `objects`; returns once a
    // period completed with them.
    void restart_server(const std::vector<zone_recipe>& zones, const std::vector<object_recipe>& objects) {
        m_server = std::make_unique<libs::loopback_http::http_server>(m_port);
        serve(zones, objects);
        const auto completed = logged(complete);
        run_until([&] { return logged(complete) > completed; });
    }

    // The server's port, kept for its return.
    const int m_port = m_server->port();
};

TEST_F(resync_fault, a_server_down_at_the_period_is_logged_and_a_later_period_succeeds) {
    serve({zone_recipe("zon1"), zone_recipe("zon2")}, {object_recipe("tag1")});
    start_with_short_period();

    m_server.reset();
    run_until([&] { return logged(zones_failed) >= 2; });
    EXPECT_GE(logged("Request failed with code: none, addr: /api/private/zones/"), 2u);
    EXPECT_TRUE(zone("zon2"));

    restart_server({zone_recipe("zon1")}, {object_recipe("tag1"), object_recipe("tag2")});
    EXPECT_FALSE(zone("zon2"));
    EXPECT_TRUE(zone("zon1"));
    EXPECT_TRUE(object("tag2"));
}

// The server answers the zones, then goes away while the trackable objects
// are asked for: that period ends after its zones stage, the next succeeds.
TEST_F(resync_fault, a_server_lost_between_the_two_stages_fails_only_the_second) {
    serve({zone_recipe("zon1")}, {object_recipe("tag1")});
    start_with_short_period();

    // The objects' answer waits, and the server dies with the request open.
    libs::loopback_http::http_server::response slow;
    slow.body = objects_answer({object_recipe("tag1")});
    slow.delay = 10s;
    serve({zone_recipe("zon1"), zone_recipe("zon2")}, {object_recipe("tag1")});
    m_server->serve("/api/private/track_obj/", slow);
    const std::size_t asked = m_server->count("/api/private/track_obj/");
    run_until([&] { return m_server->count("/api/private/track_obj/") > asked; });
    EXPECT_TRUE(zone("zon2"));
    m_server.reset();
    run_until([&] { return logged("Context synchronization: failed to get trackable objects from server") >= 1; });

    restart_server({zone_recipe("zon1")}, {object_recipe("tag2")});
    EXPECT_FALSE(zone("zon2"));
    EXPECT_FALSE(object("tag1"));
    EXPECT_TRUE(object("tag2"));
}

}  // namespace
}  // namespace kel::test
