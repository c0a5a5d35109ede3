#pragma once

#include "core/events_loop.h"
#include "core/timer.h"

#include <atomic>
#include <string>

namespace kel {

// Tells the service manager (systemd, Type=notify) how the service is doing:
// STATUS= lines while the start waits, READY=1 once the site is loaded and
// reconciled, WATCHDOG=1 from a timer of the events loop while it runs, and
// STOPPING=1 once, as soon as a stop is asked for or at the latest when it is
// destroyed.
//
// Only when the manager asked for it, by setting NOTIFY_SOCKET; without it
// no call sends anything and no timer runs. The watchdog runs at half the
// period the manager gives in WATCHDOG_USEC, so a loop that is stuck for a
// whole period misses its notification and the manager restarts the
// service. The loop must outlive the notifier.
class service_notifier {
public:
    explicit service_notifier(libs::core::events_loop& loop);
    ~service_notifier();
    service_notifier(const service_notifier&) = delete;
    service_notifier& operator=(const service_notifier&) = delete;

    void status(const std::string& text) const;
    // Call once, when the start is done; starts the watchdog if the manager
    // asked for one.
    void ready();
    // Safe from any thread (the signal watcher's); only the first call
    // sends.
    void stopping();

private:
    void notify(const std::string& state) const;

    libs::core::events_loop& m_loop;
    bool m_enabled;
    std::atomic<bool> m_stopping{false};
    libs::core::periodic_timer::ptr m_watchdog;
};

}  // namespace kel
