#include "metrics_exporter.h"

#include "core/constants.h"
#include "core/exception.h"
#include "core/source_location.h"

#include <exception>
#include <vector>

namespace kel {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::BuildHistogram;
using prometheus::Labels;

// Label values, in the order of the enumerations of metrics.
const std::array<const char*, metrics::topics> topic_names{"notify", "$pos", "#pos"};
const std::array<const char*, metrics::rejections> rejection_names{"not_json", "field_error", "unknown_object"};
const std::array<const char*, metrics::actions> action_names{"enter", "leave"};

prometheus::Histogram::BucketBoundaries duration_buckets() {
    prometheus::Histogram::BucketBoundaries seconds;
    for (const auto ns : metrics::bucket_bounds)
        seconds.push_back(static_cast<double>(ns) / 1e9);
    return seconds;
}

prometheus::Counter& counter(prometheus::Registry& registry, const std::string& name, const std::string& help,
                             const Labels& labels = {}) {
    return BuildCounter().Name(name).Help(help).Register(registry).Add(labels);
}

prometheus::Gauge& gauge(prometheus::Registry& registry, const std::string& name, const std::string& help) {
    return BuildGauge().Name(name).Help(help).Register(registry).Add({});
}

prometheus::Histogram& histogram(prometheus::Registry& registry, const std::string& name, const std::string& help) {
    return BuildHistogram().Name(name).Help(help).Register(registry).Add({}, duration_buckets());
}

void hand(prometheus::Counter& to, std::uint64_t count) {
    if (count != 0)
        to.Increment(static_cast<double>(count));
}

void hand(prometheus::Histogram& to, const metrics::histogram& pending) {
    std::vector<double> increments(pending.buckets.begin(), pending.buckets.end());
    to.ObserveMultiple(increments, pending.sum_seconds);
}

std::unique_ptr<prometheus::Exposer> listen(const std::string& address, int port) {
    const std::string bind = address + ":" + std::to_string(port);
    try {
        return std::make_unique<prometheus::Exposer>(bind, 2);
    } catch (const std::exception& e) {
        KEL_THROW("Metrics: cannot listen on " + bind + ": " + e.what());
    }
}

}  // namespace

metrics_exporter::metrics_exporter(libs::core::events_loop& loop, const context::context& context,
                                   const std::string& address, int port,
                                   const libs::core::component_logger& logger, std::chrono::nanoseconds period)
    : m_context(context),
      m_registry(std::make_shared<prometheus::Registry>()),
      m_send_failures(counter(*m_registry, "quorvane_event_send_failures_total",
                              "Events that could not be sent on the proxy input")),
      m_redis_commands(counter(*m_registry, "quorvane_redis_commands_total", "Commands sent to Redis")),
      m_redis_round_trips(counter(*m_registry, "quorvane_redis_round_trips_total",
                                  "Round trips to Redis: one command, or a pipeline of them")),
      m_redis_errors(counter(*m_registry, "quorvane_redis_errors_total",
                             "Redis commands that got an error reply or no answer")),
      m_redis_reconnects(counter(*m_registry, "quorvane_redis_reconnects_total",
                                 "Lost Redis connections replaced by a working one")),
      m_redis_round_trip(histogram(*m_registry, "quorvane_redis_round_trip_seconds",
                                   "Time of one round trip to Redis")),
      m_resyncs(counter(*m_registry, "quorvane_resyncs_total",
                        "Re-synchronizations with the site server that completed")),
      m_resync_failures(counter(*m_registry, "quorvane_resync_failures_total",
                                "Re-synchronizations with the site server that failed")),
      m_burst(histogram(*m_registry, "quorvane_loop_burst_seconds",
                        "Time the events loop spends on one burst of messages, its Redis round trip and events "
                        "included")),
      m_loop_lag(gauge(*m_registry, "quorvane_loop_lag_seconds",
                       "How late the events loop ran its latest timer")),
      m_records(gauge(*m_registry, "quorvane_records",
                      "Records of trackable objects in zones held in memory")),
      m_zones(gauge(*m_registry, "quorvane_zones", "Zones known")),
      m_trackable_objects(gauge(*m_registry, "quorvane_trackable_objects", "Trackable objects known")) {
    auto& received = BuildCounter()
                         .Name("quorvane_messages_received_total")
                         .Help("Messages received from the proxy, per topic")
                         .Register(*m_registry);
    auto& rejected = BuildCounter()
                         .Name("quorvane_messages_rejected_total")
                         .Help("Messages refused, per topic and reason")
                         .Register(*m_registry);
    for (std::size_t t = 0; t < metrics::topics; ++t) {
        m_received[t] = &received.Add({{"topic", topic_names[t]}});
        for (std::size_t r = 0; r < metrics::rejections; ++r)
            m_rejected[t][r] = &rejected.Add({{"topic", topic_names[t]}, {"reason", rejection_names[r]}});
    }
    auto& sent = BuildCounter()
                     .Name("quorvane_events_sent_total")
                     .Help("Events sent on the proxy input, per action")
                     .Register(*m_registry);
    for (std::size_t a = 0; a < metrics::actions; ++a)
        m_events_sent[a] = &sent.Add({{"action", action_names[a]}});
    BuildGauge()
        .Name("quorvane_build_info")
        .Help("The version of quorvane that runs; always 1")
        .Register(*m_registry)
        .Add({{"version", libs::core::constants::git_version},
              {"subversion", libs::core::constants::git_subversion}})
        .Set(1);

    m_exposer = listen(address, port);
    m_exposer->RegisterCollectable(m_registry);
    const auto ports = m_exposer->GetListeningPorts();
    logger.info("Metrics served on http://%1%:%2%/metrics") % address % (ports.empty() ? port : ports.front());

    metrics::counts().enable_timing();
    m_timer = loop.create_periodic_timer(
        period, "metrics_exporter", [this](libs::core::timer::time_point scheduled) { hand_over(scheduled); },
        KEL_SOURCE_LOCATION());
}

metrics_exporter::~metrics_exporter() = default;

void metrics_exporter::hand_over(libs::core::timer::time_point scheduled) {
    m_loop_lag.Set(std::chrono::duration<double>(libs::core::timer::time_point::clock::now() - scheduled).count());
    const metrics::pending counted = metrics::counts().take_pending();
    for (std::size_t t = 0; t < metrics::topics; ++t) {
        hand(*m_received[t], counted.received[t]);
        for (std::size_t r = 0; r < metrics::rejections; ++r)
            hand(*m_rejected[t][r], counted.rejected[t][r]);
    }
    for (std::size_t a = 0; a < metrics::actions; ++a)
        hand(*m_events_sent[a], counted.events_sent[a]);
    hand(m_send_failures, counted.send_failures);
    hand(m_redis_commands, counted.redis_commands);
    hand(m_redis_round_trips, counted.redis_round_trips);
    hand(m_redis_errors, counted.redis_errors);
    hand(m_redis_reconnects, counted.redis_reconnects);
    hand(m_redis_round_trip, counted.redis_round_trip);
    hand(m_resyncs, counted.resyncs);
    hand(m_resync_failures, counted.resync_failures);
    hand(m_burst, counted.burst);
    m_records.Set(static_cast<double>(m_context.get_trackable_objects_in_zones().size()));
    m_zones.Set(static_cast<double>(m_context.get_zones().size()));
    m_trackable_objects.Set(static_cast<double>(m_context.get_trackable_objects().size()));
}

}  // namespace kel
