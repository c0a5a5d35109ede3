#pragma once

#include <chrono>
#include <functional>

namespace kel::test {

// Polls `condition` every few milliseconds until it holds or `timeout`
// passes; returns whether it held. Every wait in the tests is bounded.
bool wait_until(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A loopback TCP port that was free a moment ago (bind to port 0, read it,
// close). Callers that start a server retry on the rare collision.
int free_port();

}  // namespace kel::test
