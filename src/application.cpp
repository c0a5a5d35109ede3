#include "application.h"

#include "burst_commit.h"
#include "context/writable_context.h"
#include "context_debug.h"
#include "context_save_restore_impl.h"
#include "context_updater.h"
#include "events_generator.h"
#include "events_sender_impl.h"
#include "metrics_exporter.h"
#include "redis/redis_context.h"
#include "redis_watchdog.h"
#include "service_notifier.h"
#include "zones_index.h"

#include <time.h>

#include <cerrno>
#include <string>
#include <vector>

namespace kel {

namespace {

// Redis keeps the service's data in this database.
constexpr unsigned int redis_database = 10;

// How often the Redis store is checked between the service's own commands.
constexpr std::chrono::seconds redis_check_period{1};

// Sleeps the whole second even when a signal interrupts the sleep.
void sleep_one_second() {
    timespec remaining{1, 0};
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

libs::core::timestamp now() {
    return libs::core::timestamp::current_time();
}

}  // namespace

application::application(libs::core::events_loop& loop, const config& config, libs::core::logger& logger)
    : m_logger(logger) {
    m_http_client = loop.create_http_client(config.server_url, std::chrono::seconds(config.server_timeout));
    m_message_stream = loop.create_zmq_message_stream(config.proxy_output);
    // A request to the site blocks start-up (with "server.timeout" 0 it
    // never times out): a signal aborts it, so that a stop is prompt.
    // The service manager hears of the stop at once, before the loop
    // winds down.
    m_notifier = std::make_unique<service_notifier>(loop);
    m_signals = loop.stop_on_signals([client = m_http_client.get(), notifier = m_notifier.get()] {
        notifier->stopping();
        client->abort_transfers();
    });
    try {
        build(loop, config);
    } catch (const libs::core::exception& e) {
        if (m_signals->signal_is_received())
            throw start_interrupted(e.get_string_error(), e.location());
        throw;
    } catch (...) {
        if (m_signals->signal_is_received())
            throw start_interrupted("Interrupted", KEL_SOURCE_LOCATION());
        throw;
    }
}

application::~application() {
    m_message_stream->set_burst_observer(nullptr);
    if (m_context_updater)
        m_context_updater->set_burst_observer(nullptr);
}

void application::build(libs::core::events_loop& loop, const config& config) {
    m_proxy_input = std::make_unique<libs::core::zmq::async_socket>(loop.get_io_context(), zmq::socket_type::push);
    m_logger.set_debug(config.debug_output);
    m_proxy_input->connect(config.proxy_input);
    m_events_sender = std::make_unique<events_sender_impl>(*m_proxy_input, m_logger, config.send_events_to_pubsub,
                                                           config.print_events_to_log);
    // Owned by the member from the start: the components built below refer
    // to it and subscribe to its stores, so on a failure half-way it must be
    // destroyed after them, never before.
    auto owned_context = std::make_unique<context::writable_context>();
    auto& context = *owned_context;
    m_context = std::move(owned_context);
    if (config.metrics_endpoint)
        m_metrics_exporter = std::make_unique<metrics_exporter>(loop, context, config.metrics_endpoint->address,
                                                                config.metrics_endpoint->port, m_logger);
    m_notifier->status("Connecting to Redis at " + config.redis_host + ":" + std::to_string(config.redis_port));
    m_redis_context = create_redis_context(config);
    m_context_save_restore = std::make_unique<context_save_restore_impl>(*m_redis_context, *m_events_sender, context,
                                                                         config.ignored_zone_types, m_logger);
    // The index files every trackable object as it is loaded and changed,
    // ahead of the other observers: the start-up pass of each zone, and
    // every zone change after it, find the objects a visit of every object
    // would evaluate.
    m_zones_index = std::make_unique<zones_index>(*m_context_save_restore, *m_events_sender, context, m_logger);
    m_context_debug = std::make_unique<context_debug>(context, *m_redis_context);
    m_context_updater = std::make_unique<context_updater>(context, *m_http_client, *m_message_stream, m_logger, loop,
                                                          *m_context_save_restore);
    m_logger.debug("init...");
    m_notifier->status("Loading the site from " + config.server_url);
    m_context_updater->initialize();
    restore_state();
    m_logger.debug("init done");
    m_events_generator = std::make_unique<events_generator>(context, *m_context_save_restore, *m_events_sender,
                                                            *m_zones_index, m_logger, config.ignored_zone_types);
    update_every_object();
    m_redis_watchdog =
        std::make_unique<redis_watchdog>(loop, *m_context_save_restore, m_logger, redis_check_period);
    m_burst_commit = std::make_unique<burst_commit>(*m_redis_context, *m_context_save_restore, *m_context_debug,
                                                    *m_events_sender, m_logger);
    m_message_stream->set_burst_observer(m_burst_commit.get());
    m_context_updater->set_burst_observer(m_burst_commit.get());
    m_notifier->ready();
}

std::unique_ptr<redis::context> application::create_redis_context(const config& config) const {
    for (;;) {
        std::unique_ptr<redis::context> redis;
        try {
            redis = std::make_unique<redis::context>(config.redis_host, config.redis_port, redis_database,
                                                     config.redis_password);
        } catch (...) {
            m_logger.log_exception();
            m_notifier->status("Waiting for Redis at " + config.redis_host + ":" + std::to_string(config.redis_port));
        }
        sleep_one_second();
        if (m_signals->signal_is_received())
            throw libs::core::exception("Interrupted", KEL_SOURCE_LOCATION());
        if (redis)
            return redis;
    }
}

// A Redis that refuses writes (full under noeviction, read-only) is waited
// for like one that is not there yet: the state is restored once it
// accepts them. A restore that stopped half-way is safe to run again.
void application::restore_state() {
    for (;;) {
        try {
            m_context_save_restore->restore();
            return;
        } catch (const redis::reply_error& e) {
            m_logger.error("Redis refused the restore of the state, retrying every second: %1%") %
                e.get_string_error();
            m_notifier->status("Waiting for Redis to accept writes");
        }
        sleep_one_second();
        if (m_signals->signal_is_received())
            throw libs::core::exception("Interrupted", KEL_SOURCE_LOCATION());
    }
}

// Shows the events generator every zone and then every trackable object
// once, so that the loaded site and the restored state are reconciled
// before the first message is handled.
void application::update_every_object() {
    auto scope = m_logger.enter_scope("Updating objects");
    auto& context = static_cast<context::writable_context&>(*m_context);
    std::vector<std::string> uids;
    for (const context::zone& z : context.get_zones().get_range())
        uids.push_back(z.get_uid());
    for (const auto& uid : uids)
        context.take_zones().try_get(uid, now());
    uids.clear();
    for (const context::trackable_object& o : context.get_trackable_objects().get_range())
        uids.push_back(o.get_uid());
    for (const auto& uid : uids)
        context.take_trackable_objects().try_get(uid, now());
}

}  // namespace kel
