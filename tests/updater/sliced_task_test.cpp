#include "sliced_task.h"

#include <boost/asio/post.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace kel::test {
namespace {

using namespace std::chrono_literals;
using strings = std::vector<std::string>;

class sliced_task_test : public ::testing::Test, public libs::core::message_stream::burst_observer {
protected:
    void burst_begins() override { m_seen.push_back("begins"); }
    void burst_follows() noexcept override { m_seen.push_back("follows"); }
    void burst_ends() noexcept override { m_seen.push_back("ends"); }

    // A task of `count` steps named `name` 0, 1...; each step posts what
    // stands for a position arriving meanwhile. Step `throw_at` throws.
    sliced_task::step steps(std::string name, int count, int throw_at = -1) {
        return [this, name, count, throw_at, next = 0]() mutable {
            const std::string step = name + std::to_string(next);
            m_seen.push_back(step);
            boost::asio::post(m_io, [this, step] { m_seen.push_back("pos after " + step); });
            if (next == throw_at)
                throw std::runtime_error("step failed");
            return ++next < count;
        };
    }

    boost::asio::io_context m_io;
    strings m_seen;
};

TEST_F(sliced_task_test, handlers_posted_during_a_slice_run_before_the_next_slice) {
    struct row {
        std::chrono::nanoseconds budget;
        strings expected;
    };
    const row rows[] = {
        {0ns, {"a0", "pos after a0", "a1", "pos after a1", "a2", "pos after a2"}},
        {1h, {"a0", "a1", "a2", "pos after a0", "pos after a1", "pos after a2"}},
    };
    for (const row& r : rows) {
        m_seen.clear();
        sliced_task task(m_io, r.budget);
        task.start(steps("a", 3));
        EXPECT_TRUE(m_seen.empty());
        EXPECT_TRUE(task.running());
        m_io.restart();
        m_io.run();
        EXPECT_EQ(m_seen, r.expected) << r.budget.count();
        EXPECT_FALSE(task.running());
    }
}

TEST_F(sliced_task_test, each_slice_is_one_burst_also_when_a_step_throws) {
    sliced_task task(m_io, 0ns);
    task.set_burst_observer(this);
    task.start(steps("a", 3, 1));
    EXPECT_THROW(m_io.run(), std::runtime_error);
    m_io.restart();
    m_io.run();
    EXPECT_EQ(m_seen, (strings{"begins", "a0", "ends", "pos after a0", "begins", "a1", "ends", "pos after a1"}));
    EXPECT_FALSE(task.running());
}

TEST_F(sliced_task_test, a_replaced_or_destroyed_task_runs_no_further_step) {
    auto task = std::make_unique<sliced_task>(m_io, 0ns);
    task->start(steps("a", 100));
    m_io.run_one();
    task->start(steps("b", 2));
    m_io.run();
    EXPECT_EQ(m_seen, (strings{"a0", "pos after a0", "b0", "pos after b0", "b1", "pos after b1"}));

    m_seen.clear();
    task->start(steps("c", 2));
    task.reset();
    m_io.restart();
    m_io.run();
    EXPECT_TRUE(m_seen.empty());
}

}  // namespace
}  // namespace kel::test
