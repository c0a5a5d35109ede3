#include "service_notifier.h"

#include "core/source_location.h"

#include <systemd/sd-daemon.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>

namespace kel {

service_notifier::service_notifier(libs::core::events_loop& loop)
    : m_loop(loop), m_enabled(std::getenv("NOTIFY_SOCKET") != nullptr) {}

service_notifier::~service_notifier() {
    stopping();
}

void service_notifier::stopping() {
    if (!m_stopping.exchange(true))
        notify("STOPPING=1");
}

void service_notifier::status(const std::string& text) const {
    notify("STATUS=" + text);
}

void service_notifier::ready() {
    notify("READY=1\nSTATUS=Running");
    std::uint64_t usec = 0;
    if (!m_enabled || sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    m_watchdog = m_loop.create_periodic_timer(
        std::chrono::microseconds(usec / 2), "systemd_watchdog",
        [this](libs::core::timer::time_point) { notify("WATCHDOG=1"); }, KEL_SOURCE_LOCATION());
}

// A manager that cannot be told is no reason to stop the service: the
// result is ignored.
void service_notifier::notify(const std::string& state) const {
    if (m_enabled)
        sd_notify(0, state.c_str());
}

}  // namespace kel
