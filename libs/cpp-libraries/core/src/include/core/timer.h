#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace kel::libs::core {

// A one-shot timer on the events loop. Destroying it while it waits is safe:
// the callback is then never called.
class timer {
public:
    using time_point = std::chrono::time_point<std::chrono::steady_clock, std::chrono::nanoseconds>;
    using callback = std::function<void(time_point)>;
    using ptr = std::unique_ptr<timer>;

    virtual ~timer() = default;
    virtual bool is_waiting() const = 0;
    // Arms the timer for `due`, replacing a pending wait.
    virtual void reset(time_point due) = 0;
    // Cancels the wait; the callback is not called.
    virtual void stop() = 0;
};

// Calls its callback every period on the events loop. Missed periods are
// skipped and the schedule stays aligned to the first due time; the callback
// receives the scheduled time, not the time it actually runs.
class periodic_timer {
public:
    struct execute_now {};
    using ptr = std::unique_ptr<periodic_timer>;

    virtual ~periodic_timer() = default;
    // Sets a new period (greater than zero) and restarts from now.
    virtual void reset(std::chrono::nanoseconds period) = 0;
    // No further calls until restart(); safe inside the callback.
    virtual void stop() = 0;
    virtual void restart() = 0;
    virtual void expire_now() = 0;
};

}  // namespace kel::libs::core
