#include "support/run_until.h"

#include "core/source_location.h"

namespace kel::test {

bool run_until(libs::core::events_loop& loop, const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto check = loop.create_periodic_timer(
        std::chrono::milliseconds(2), "check",
        [&](auto) {
            if (done() || std::chrono::steady_clock::now() >= deadline)
                loop.stop();
        },
        KEL_SOURCE_LOCATION());
    loop.get_io_context().restart();
    loop.run();
    return done();
}

}  // namespace kel::test
