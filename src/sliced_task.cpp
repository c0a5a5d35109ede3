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

void sliced_task::run_slice(running_task& task) {
    bool more = false;
    if (m_observer == nullptr) {
        more = run_steps(task);
    } else {
        m_observer->burst_begins();
        try {
            more = run_steps(task);
        } catch (...) {
            m_observer->burst_ends();
            throw;
        }
        m_observer->burst_ends();
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
    try {
        while (task.next()) {
            if (std::chrono::steady_clock::now() >= until)
                return true;
        }
    } catch (...) {
        if (m_running.get() == &task)
            m_running.reset();
        throw;
    }
    return false;
}

}  // namespace kel
