#pragma once

#include "core/events_loop.h"

#include <chrono>
#include <functional>

namespace kel::test {

// Runs `loop` on this thread until `done` holds (checked every 2 ms) or
// `limit` passes; returns whether it held. The loop is left stopped, ready
// to run again.
bool run_until(libs::core::events_loop& loop, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace kel::test
