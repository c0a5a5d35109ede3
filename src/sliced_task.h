#pragma once

#include "core/message_stream.h"

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <functional>
#include <memory>

namespace kel {

// Runs a long task on the events loop in slices, so that the loop's other
// handlers (the positions above all) wait for one slice rather than for the
// whole task. A task is a sequence of steps; a slice runs steps until one
// reports the end or the slice has run for its budget, and then posts the
// next slice. A step is never cut: the budget bounds a slice only to within
// its last step.
//
// With a burst observer set, each slice is one burst of it: the slice's
// Redis commands go in one round trip, and its events leave after Redis
// answered, in the order and form they would have step by step.
//
// Starting a task abandons the steps of one still running, as does
// destroying the sliced_task; an abandoned step is never run. A step that
// throws ends its task (its burst still ends) and the exception leaves the
// loop's handler. The loop and the observer must outlive the sliced_task.
class sliced_task {
public:
    // Runs one step; true while steps remain.
    using step = std::function<bool()>;

    sliced_task(boost::asio::io_context& io, std::chrono::nanoseconds budget);
    sliced_task(const sliced_task&) = delete;
    sliced_task& operator=(const sliced_task&) = delete;

    void set_burst_observer(libs::core::message_stream::burst_observer* observer) { m_observer = observer; }
    // The first slice runs from the loop, not within start().
    void start(step next);
    // Abandons the running task's remaining steps.
    void cancel() { m_running.reset(); }
    bool running() const { return m_running != nullptr; }

private:
    struct running_task {
        step next;
    };

    void post_slice();
    void run_slice(running_task& task);
    bool run_steps(running_task& task);

    boost::asio::io_context& m_io;
    std::chrono::nanoseconds m_budget;
    libs::core::message_stream::burst_observer* m_observer = nullptr;
    // Owned here only; a posted slice holds it weakly, so that a replaced or
    // destroyed task's slice finds it gone.
    std::shared_ptr<running_task> m_running;
};

}  // namespace kel
