#pragma once

#include "core/source_location.h"
#include "core/timer.h"
#include "core/timestamp.h"

#include <chrono>
#include <string>

namespace kel::libs::core {

// Creates the timers of one events loop; the loop must outlive its timers.
class timers_manager {
public:
    virtual ~timers_manager() = default;

    virtual std::chrono::steady_clock::time_point current_time_point() const = 0;
    virtual timestamp current_timestamp() const = 0;

    virtual timer::ptr create_timer(std::chrono::nanoseconds delay, const std::string& name, timer::callback callback,
                                    source_location location) = 0;
    virtual timer::ptr create_timer(timer::time_point due, const std::string& name, timer::callback callback,
                                    source_location location) = 0;
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period, const std::string& name,
                                                      timer::callback callback, source_location location) = 0;
    // As above, but the first call comes on the next turn of the loop.
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds period, periodic_timer::execute_now,
                                                      const std::string& name, timer::callback callback,
                                                      source_location location) = 0;
};

}  // namespace kel::libs::core
