#include "core/core.h"
#include "core/events_loop.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kel::libs::core::events_loop;
using kel::libs::core::periodic_timer;
using kel::libs::core::timer;

class events_loop_test : public ::testing::Test {
protected:
    events_loop_test()
        : m_logger("quorvane", "test"), m_core(kel::libs::core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("test loop")) {}

    timer::time_point now() { return timer::time_point(std::chrono::steady_clock::now()); }

    // Stops the loop after `delay`, so that every run() below is bounded.
    timer::ptr stop_after(std::chrono::milliseconds delay) {
        return m_loop->create_timer(now() + delay, "stop", [this](timer::time_point) { m_loop->stop(); },
                                    KEL_SOURCE_LOCATION());
    }

    kel::libs::core::logger m_logger;
    kel::libs::core::core::ptr m_core;
    events_loop::ptr m_loop;
};

TEST_F(events_loop_test, destroyed_or_stopped_timer_never_calls_back) {
    int calls = 0;
    auto destroyed = m_loop->create_timer(now() + 10ms, "d", [&](timer::time_point) { ++calls; }, KEL_SOURCE_LOCATION());
    auto stopped = m_loop->create_timer(now() + 10ms, "s", [&](timer::time_point) { ++calls; }, KEL_SOURCE_LOCATION());
    destroyed.reset();
    stopped->stop();
    auto stop = stop_after(100ms);
    m_loop->run();
    EXPECT_EQ(calls, 0);
}

TEST_F(events_loop_test, periodic_timer_skips_missed_periods_and_stays_aligned) {
    const auto period = 100ms;
    std::vector<timer::time_point> calls;
    auto p = m_loop->create_periodic_timer(
        period, "p",
        [&](timer::time_point tp) {
            calls.push_back(tp);
            if (calls.size() == 1)
                std::this_thread::sleep_for(350ms);
            if (calls.size() == 3)
                m_loop->stop();
        },
        KEL_SOURCE_LOCATION());
    auto guard = stop_after(3000ms);
    m_loop->run();
    ASSERT_EQ(calls.size(), 3u);
    // The period that fell due while the callback blocked is delivered late
    // with its scheduled time; the ones after it are skipped.
    EXPECT_EQ(calls[1] - calls[0], period);
    const auto gap = calls[2] - calls[0];
    EXPECT_GE(gap, 4 * period);
    EXPECT_EQ(gap % period, std::chrono::nanoseconds(0));
}

TEST_F(events_loop_test, throwing_handler_ends_run_and_run_resumes) {
    std::vector<int> order;
    m_loop->post([] { throw std::runtime_error("boom"); }, KEL_SOURCE_LOCATION());
    m_loop->post([&] { order.push_back(2); }, KEL_SOURCE_LOCATION());
    EXPECT_THROW(m_loop->run(), std::runtime_error);
    EXPECT_TRUE(order.empty());
    m_loop->run();
    EXPECT_EQ(order, (std::vector<int>{2}));
}

}  // namespace
