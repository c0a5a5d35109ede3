#pragma once

#include "metrics.h"

#include "context/context.h"

#include "core/events_loop.h"
#include "core/logger.h"
#include "core/timer.h"

#include <prometheus/counter.h>
#include <prometheus/exposer.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>

namespace kel {

// The metrics endpoint: serves the Prometheus text format over HTTP at
// http://address:port/metrics, from threads of its own (prometheus-cpp's
// civetweb server). Every period a timer of the events loop takes what the
// loop thread counted (metrics::counts()) and hands it to the registry, and
// reads the sizes of the context, so that the loop and the endpoint share
// nothing but the registry; the figures served are at most a period old.
//
// Built only when the configuration names an endpoint. The loop, the context
// and the logger must outlive it; destroying it stops the timer and the
// server's threads.
class metrics_exporter {
public:
    static constexpr std::chrono::seconds default_period{1};

    // Listens at once on `address`:`port` (port 0 picks a free one) and logs
    // where; throws kel::libs::core::exception when it cannot listen.
    metrics_exporter(libs::core::events_loop& loop, const context::context& context, const std::string& address,
                     int port, const libs::core::component_logger& logger,
                     std::chrono::nanoseconds period = default_period);
    ~metrics_exporter();
    metrics_exporter(const metrics_exporter&) = delete;
    metrics_exporter& operator=(const metrics_exporter&) = delete;

private:
    void hand_over(libs::core::timer::time_point scheduled);

    const context::context& m_context;
    std::shared_ptr<prometheus::Registry> m_registry;
    std::array<prometheus::Counter*, metrics::topics> m_received{};
    std::array<std::array<prometheus::Counter*, metrics::rejections>, metrics::topics> m_rejected{};
    std::array<prometheus::Counter*, metrics::actions> m_events_sent{};
    prometheus::Counter& m_send_failures;
    prometheus::Counter& m_redis_commands;
    prometheus::Counter& m_redis_round_trips;
    prometheus::Counter& m_redis_errors;
    prometheus::Counter& m_redis_reconnects;
    prometheus::Histogram& m_redis_round_trip;
    prometheus::Counter& m_resyncs;
    prometheus::Counter& m_resync_failures;
    prometheus::Histogram& m_burst;
    prometheus::Gauge& m_loop_lag;
    prometheus::Gauge& m_records;
    prometheus::Gauge& m_zones;
    prometheus::Gauge& m_trackable_objects;
    std::unique_ptr<prometheus::Exposer> m_exposer;
    // Last, so that it goes first: no hand-over on a half-destroyed object.
    libs::core::periodic_timer::ptr m_timer;
};

}  // namespace kel
