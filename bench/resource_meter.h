#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct redisContext;

namespace kel::bench {

// What the service costs outside itself, read on demand: its resident
// memory (VmRSS of /proc/<pid>/status, the pid taken from its pid file) and
// the number of commands its Redis server has processed so far (INFO stats,
// total_commands_processed; the INFO itself counts as one).
//
// Owns one Redis connection, opened at construction; not thread-safe.
class resource_meter {
public:
    // An empty pid file path or a port of 0 turns that reading off: it then
    // reads as -1.
    resource_meter(std::string service_pidfile, int redis_port);
    ~resource_meter();
    resource_meter(const resource_meter&) = delete;
    resource_meter& operator=(const resource_meter&) = delete;

    // Kibibytes, or -1 when the process or its pid cannot be read.
    std::int64_t service_rss_kib() const;
    // -1 when Redis does not answer.
    std::int64_t redis_commands();

    // VmRSS of `pid` in kibibytes, or -1.
    static std::int64_t rss_kib(long pid);

private:
    struct redis_deleter {
        void operator()(redisContext* context) const;
    };

    std::string m_pidfile;
    std::unique_ptr<redisContext, redis_deleter> m_redis;
};

}  // namespace kel::bench
