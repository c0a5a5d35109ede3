#include "sliced_task.h"

#include <boost/asio/post.hpp>

namespace kel {

sliced_task::sliced_task(boost::asio::io_context& io, std::chrono::nanoseconds budget) : m_io(io), m_budget(budget) {}

void sliced_task::start(step next) {
    m_running = std::make_shared<running_task>(running_task{std::move(next)});
    post_slice();
}

void sliced_task::post_slice() {
    boost::asio::post(m_io, [this, task = std::weak_ptr<running_task>(m_running)] {
        if (const auto alive = task.lock())
            run_slice(*alive);
    });
}

namespace {

// The observer's burst around one slice, ended also when a step throws.
class slice_burst {
public:
    explicit slice_burst(libs::core::message_stream::burst_observer* observer) : m_observer(observer) {
        if (m_observer != nullptr)
            m_observer->burst_begins();
    }
    ~slice_burst() {
        if (m_observer != nullptr)
            m_observer->burst_ends();
    }
    slice_burst(const slice_burst&) = delete;
    slice_burst& operator=(const slice_burst&) = delete;

private:
    libs::core::message_stream::burst_observer* m_observer;
};

}  // namespace

void sliced_task::run_slice(running_task& task) {
    bool more = false;
    try {
        const slice_burst burst(m_observer);
        more = run_steps(task);
    } catch (...) {
        if (m_running.get() == &task)
            m_running.reset();
        throw;
    }
    // A step may have started another task, which then runs instead.
    if (m_running.get() != &task)
        return;
    if (more)
        post_slice();
    else
        m_running.reset();
}

bool sliced_task::run_steps(running_task& task) {
    const auto until = std::chrono::steady_clock::now() + m_budget;
    while (task.next()) {
        if (std::chrono::steady_clock::now() >= until)
            return true;
    }
    return false;
}

}  // namespace kel
