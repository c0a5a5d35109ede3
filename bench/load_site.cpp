// load_site: the whole-service load generator. See load_options::usage()
// and bench/README.md; bench/run drives it.
#include "load_driver.h"
#include "load_options.h"
#include "position_stream.h"
#include "resource_meter.h"
#include "site_lists.h"
#include "site_publisher.h"

#include "loopback_http/http_server.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <stdexcept>
#include <thread>

namespace {

using kel::bench::load_driver;

// The fast frames must be the very bytes the demo site's JSON writer makes,
// or the benchmark would measure another payload than the service reads.
void check_frames(const kel::bench::site_lists& site, std::uint32_t seed) {
    kel::bench::position_stream stream(site, seed, 8);
    for (int i = 0; i < 1000; ++i) {
        const auto& p = stream.next();
        if (stream.frame() != kel::site::site_publisher::position_frame(p))
            throw std::logic_error("frame differs from the JSON writer's: " + stream.frame());
    }
}

void serve(kel::libs::loopback_http::http_server& http, const kel::bench::site_lists& site) {
    http.serve("/api/private/zones/", site.answer("zones"));
    http.serve("/api/private/track_obj/", site.answer("trackableObjects"));
    http.serve("/api/private/sublocations/", site.answer("sublocations"));
    http.serve("/api/private/nodes/", site.answer("nodes"));
}

// Fixed notation: the lines are read by a shell script.
void print(const std::string& name, double value) {
    std::cout << "result " << name << " " << std::fixed << std::setprecision(3) << value << std::endl;
}

// Nearest-rank percentile; -1 without samples.
double percentile(std::vector<double> samples, double p) {
    if (samples.empty())
        return -1;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(samples.size())));
    return samples[std::min(samples.size() - 1, rank == 0 ? 0 : rank - 1)];
}

void print_latencies(const std::string& name, const std::vector<double>& samples) {
    print(name + ".count", static_cast<double>(samples.size()));
    print(name + ".p50_ms", percentile(samples, 50));
    print(name + ".p99_ms", percentile(samples, 99));
    print(name + ".max_ms", percentile(samples, 100));
}

void print_phase(const std::string& name, const load_driver::phase_result& r) {
    print(name + ".positions", static_cast<double>(r.positions));
    print(name + ".seconds", r.seconds);
    print(name + ".positions_per_s", r.positions_per_second());
    print(name + ".first_half_per_s", r.first_half_rate);
    print(name + ".second_half_per_s", r.second_half_rate);
    print(name + ".events", static_cast<double>(r.events));
    print(name + ".events_per_s", r.events_per_second());
    print(name + ".max_backlog", static_cast<double>(r.max_backlog));
    print(name + ".drain_s", r.drain_seconds);
    print(name + ".generator_cpu_percent", r.seconds > 0 ? 100 * r.generator_cpu_seconds / r.seconds : 0);
    print(name + ".stolen_percent", r.stolen_share >= 0 ? 100 * r.stolen_share : -1);
    print_latencies(name + ".latency", r.latencies_ms);
    print_latencies(name + ".probe_latency", r.probe_latencies_ms);
}

// Counters of the service's metrics, read once what it handled so far has
// reached the endpoint: the service is idle between phases, and hands its
// counts over once a second. -1 each without an endpoint.
struct service_counts {
    double round_trips = -1;
    double bursts = -1;
    double allocations = -1;
    double main_thread_allocations = -1;
    // Round trips its Redis client timed, and those of them within 1 ms.
    double timed_round_trips = -1;
    double round_trips_within_1ms = -1;
};

service_counts settled_counts(const kel::bench::resource_meter& meter, const kel::bench::load_options& o) {
    if (o.metrics_port == 0 && o.allocation_counter.empty())
        return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const auto allocations = static_cast<double>(meter.service_allocations());
    const auto main_thread_allocations = static_cast<double>(meter.main_thread_allocations());
    const auto metric = meter.service_metrics({"quorvane_redis_round_trips_total", "quorvane_loop_burst_seconds_count",
                                               "quorvane_redis_round_trip_seconds_count",
                                               "quorvane_redis_round_trip_seconds_bucket{le=\"0.001\"}"});
    return {metric[0], metric[1], allocations, main_thread_allocations, metric[2], metric[3]};
}

double fixed_rate(const kel::bench::load_options& o, const load_driver::phase_result& closed) {
    if (o.rate > 0)
        return o.rate;
    // Rounded down (to a hundred when there are hundreds), so that the
    // figure reads as a setting.
    const double sustainable = 0.8 * closed.positions_per_second();
    const double step = sustainable >= 100 ? 100 : 1;
    return std::max(1.0, std::min(o.max_rate, std::floor(sustainable / step) * step));
}

void run(const kel::bench::load_options& o) {
    kel::bench::site_shape shape;
    shape.seed = o.seed;
    shape.objects = o.tags;
    const kel::bench::site_lists site(shape);
    check_frames(site, o.seed);
    kel::libs::loopback_http::http_server http(0);
    serve(http, site);
    kel::bench::position_stream stream(site, o.seed, o.probe_every, o.walkers);
    load_driver driver(stream);
    std::cout << "load_site: serving http=" << http.port() << " pub=" << driver.pub_port()
              << " pull=" << driver.pull_port() << " probe=" << stream.probe_uid() << std::endl;
    if (!driver.wait_ready(o.ready_timeout))
        throw std::runtime_error("no subscriber answered within " + std::to_string(o.ready_timeout.count()) + " s");
    kel::bench::resource_meter meter(o.service_pidfile, o.redis_port, o.metrics_port, o.allocation_counter);
    print("rss_start_kib", static_cast<double>(meter.service_rss_kib()));
    if (o.warmup.count() > 0)
        print("warmup.positions_per_s", driver.run_closed_loop(o.warmup, o.window).positions_per_second());

    const auto counts_before = settled_counts(meter, o);
    const auto commands_before = meter.redis_commands();
    const auto closed = driver.run_closed_loop(o.closed, o.window);
    const auto commands_after = meter.redis_commands();
    const auto counts_after = settled_counts(meter, o);
    print_phase("closed", closed);
    if (commands_before >= 0 && commands_after >= 0 && closed.seconds > 0)
        print("closed.redis_commands_per_s", static_cast<double>(commands_after - commands_before) / closed.seconds);
    if (counts_before.round_trips >= 0 && counts_after.round_trips >= 0 && closed.seconds > 0)
        print("closed.redis_round_trips_per_s", (counts_after.round_trips - counts_before.round_trips) / closed.seconds);
    if (counts_before.bursts >= 0 && counts_after.bursts >= 0 && closed.seconds > 0)
        print("closed.bursts_per_s", (counts_after.bursts - counts_before.bursts) / closed.seconds);
    if (counts_before.allocations >= 0 && counts_after.allocations >= 0 && closed.positions > 0)
        print("closed.allocations_per_position",
              (counts_after.allocations - counts_before.allocations) / static_cast<double>(closed.positions));
    if (counts_before.main_thread_allocations >= 0 && counts_after.main_thread_allocations >= 0 && closed.positions > 0)
        print("closed.main_thread_allocations_per_position",
              (counts_after.main_thread_allocations - counts_before.main_thread_allocations) /
                  static_cast<double>(closed.positions));

    if (o.fixed.count() > 0) {
        const double rate = fixed_rate(o, closed);
        print("fixed.rate", rate);
        const auto fixed = driver.run_fixed_rate(o.fixed, rate);
        const auto fixed_counts = settled_counts(meter, o);
        print_phase("fixed", fixed);
        // Events leave once Redis has answered for their burst: a slow
        // answer is a late event, which this share tells apart from the
        // service's own time.
        const double timed = fixed_counts.timed_round_trips - counts_after.timed_round_trips;
        if (counts_after.round_trips_within_1ms >= 0 && fixed_counts.round_trips_within_1ms >= 0 && timed > 0)
            print("fixed.redis_round_trips_over_1ms_percent",
                  100 * (timed - (fixed_counts.round_trips_within_1ms - counts_after.round_trips_within_1ms)) / timed);
    }
    print("rss_end_kib", static_cast<double>(meter.service_rss_kib()));
}

}  // namespace

int main(int argc, char* argv[]) {
    kel::bench::load_options options;
    try {
        options = kel::bench::load_options::parse(argc, argv);
    } catch (const std::invalid_argument& e) {
        std::cerr << "load_site: " << e.what() << "\n\n" << kel::bench::load_options::usage(argv[0]);
        return 1;
    }
    if (options.help) {
        std::cout << kel::bench::load_options::usage(argv[0]);
        return 0;
    }
    try {
        run(options);
    } catch (const std::exception& e) {
        std::cerr << "load_site: " << e.what() << "\n";
        return 2;
    }
    return 0;
}
