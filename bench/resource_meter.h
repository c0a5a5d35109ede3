#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct redisContext;

namespace kel::bench {

// What the service costs outside itself, read on demand: its resident
// memory (VmRSS of /proc/<pid>/status, the pid taken from its pid file) and
// the number of commands its Redis server has processed so far (INFO stats,
// total_commands_processed; the INFO itself counts as one), and counters of
// its metrics endpoint (scraped over HTTP; the service hands its counts to
// the endpoint once a second, so a reading may be that old), and the
// allocations it has made, from the counter file of the allocation counter
// preloaded into it (mapped read-only).
//
// Owns one Redis connection, opened at construction; not thread-safe.
class resource_meter {
public:
    // An empty pid file path or a port of 0 turns that reading off: it then
    // reads as -1.
    resource_meter(std::string service_pidfile, int redis_port, int metrics_port,
                   const std::string& allocation_counter);
    ~resource_meter();
    resource_meter(const resource_meter&) = delete;
    resource_meter& operator=(const resource_meter&) = delete;

    // Kibibytes, or -1 when the process or its pid cannot be read.
    std::int64_t service_rss_kib() const;
    // -1 when Redis does not answer.
    std::int64_t redis_commands();
    // The values of series of the service's metrics, read from one scrape:
    // a name with its labels as the endpoint writes them, such as
    // "quorvane_redis_round_trips_total" or
    // "quorvane_redis_round_trip_seconds_bucket{le=\"0.001\"}". Each is -1
    // when it cannot be read.
    std::vector<double> service_metrics(const std::vector<std::string>& series) const;
    // malloc, calloc and realloc calls of the service so far, of all its
    // threads and of its main thread alone; -1 without a counter file.
    std::int64_t service_allocations() const;
    std::int64_t main_thread_allocations() const;

    // VmRSS of `pid` in kibibytes, or -1.
    static std::int64_t rss_kib(long pid);

private:
    struct redis_deleter {
        void operator()(redisContext* context) const;
    };

    std::string m_pidfile;
    std::string m_metrics_url;
    std::unique_ptr<redisContext, redis_deleter> m_redis;
    struct unmapper {
        void operator()(const volatile std::uint64_t* counter) const;
    };
    std::unique_ptr<const volatile std::uint64_t, unmapper> m_allocations;
};

}  // namespace kel::bench
