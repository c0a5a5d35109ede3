#pragma once

#include "config.h"

#include "core/events_loop.h"
#include "core/exception.h"
#include "core/http/client.h"
#include "core/logger.h"
#include "core/message_stream.h"
#include "core/zmq/async_socket.h"

#include <memory>

namespace kel {

namespace context {
class context;
}
namespace redis {
class context;
}
class context_updater;
class context_debug;
class context_save_restore_impl;
class events_generator;
class redis_watchdog;
class zones_index;
class events_sender_impl;
class burst_commit;
class metrics_exporter;
class service_notifier;

// Raised when SIGINT or SIGTERM ended the start-up (while waiting for Redis
// or for the server): a requested stop, which the process reports as such.
class start_interrupted : public libs::core::exception {
public:
    using exception::exception;
};

// Builds, owns and wires every component of the service, and brings the
// context to a consistent state before the events loop runs: the site is
// loaded from the server, the persisted state restored from Redis, and the
// events generator shown every zone and every trackable object once.
//
// It tells the service manager how the start goes and when it is done
// (service_notifier), and serves the metrics endpoint when the configuration
// names one.
//
// Constructed after the loop exists and before it runs; destroyed after it
// returned. Members are destroyed in reverse order: the metrics endpoint
// and the output socket first, the HTTP client last. The loop, the
// configuration and the logger must outlive the application.
class application {
public:
    // Throws whatever a step throws; start_interrupted when a signal ended
    // the start.
    application(libs::core::events_loop& loop, const config& config, libs::core::logger& logger);
    ~application();
    application(const application&) = delete;
    application& operator=(const application&) = delete;

private:
    void build(libs::core::events_loop& loop, const config& config);
    std::unique_ptr<redis::context> create_redis_context(const config& config) const;
    void restore_state();
    void update_every_object();

    libs::core::logger& m_logger;
    libs::core::http::client::ptr m_http_client;
    libs::core::message_stream::ptr m_message_stream;
    // Before the signals handle, whose watcher tells it of a stop.
    std::unique_ptr<service_notifier> m_notifier;
    libs::core::events_loop::signals_handle::ptr m_signals;
    std::unique_ptr<context::context> m_context;
    std::unique_ptr<redis::context> m_redis_context;
    std::unique_ptr<context_updater> m_context_updater;
    std::unique_ptr<context_debug> m_context_debug;
    std::unique_ptr<context_save_restore_impl> m_context_save_restore;
    std::unique_ptr<events_generator> m_events_generator;
    std::unique_ptr<zones_index> m_zones_index;
    std::unique_ptr<redis_watchdog> m_redis_watchdog;
    std::unique_ptr<burst_commit> m_burst_commit;
    std::unique_ptr<events_sender_impl> m_events_sender;
    std::unique_ptr<libs::core::zmq::async_socket> m_proxy_input;
    // Only when the configuration names an endpoint.
    std::unique_ptr<metrics_exporter> m_metrics_exporter;
};

}  // namespace kel
