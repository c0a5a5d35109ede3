#include "resource_meter.h"

#include "loopback_http/http_get.h"

#include <hiredis/hiredis.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace kel::bench {

namespace {

// The allocation counter's file: the count of every thread, then the main
// thread's.
constexpr std::size_t counter_bytes = 2 * sizeof(std::uint64_t);

}  // namespace

void resource_meter::redis_deleter::operator()(redisContext* context) const {
    redisFree(context);
}

void resource_meter::unmapper::operator()(const volatile std::uint64_t* counter) const {
    ::munmap(const_cast<std::uint64_t*>(counter), counter_bytes);
}

resource_meter::resource_meter(std::string service_pidfile, int redis_port, int metrics_port,
                               const std::string& allocation_counter)
    : m_pidfile(std::move(service_pidfile)) {
    if (!allocation_counter.empty()) {
        // The service creates the file before its main; it runs by now.
        const int file = ::open(allocation_counter.c_str(), O_RDONLY | O_CLOEXEC);
        if (file >= 0) {
            void* mapped = ::mmap(nullptr, counter_bytes, PROT_READ, MAP_SHARED, file, 0);
            ::close(file);
            if (mapped != MAP_FAILED)
                m_allocations.reset(static_cast<const volatile std::uint64_t*>(mapped));
        }
    }
    if (metrics_port > 0)
        m_metrics_url = "http://127.0.0.1:" + std::to_string(metrics_port) + "/metrics";
    if (redis_port <= 0)
        return;
    const timeval timeout{5, 0};
    m_redis.reset(redisConnectWithTimeout("127.0.0.1", redis_port, timeout));
    if (m_redis && m_redis->err)
        m_redis.reset();
}

resource_meter::~resource_meter() = default;

std::int64_t resource_meter::service_rss_kib() const {
    if (m_pidfile.empty())
        return -1;
    std::ifstream file(m_pidfile);
    long pid = 0;
    if (!(file >> pid) || pid <= 0)
        return -1;
    return rss_kib(pid);
}

std::int64_t resource_meter::rss_kib(long pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) != 0)
            continue;
        std::istringstream fields(line.substr(6));
        std::int64_t kib = -1;
        fields >> kib;
        return kib;
    }
    return -1;
}

std::int64_t resource_meter::redis_commands() {
    if (!m_redis)
        return -1;
    auto* reply = static_cast<redisReply*>(redisCommand(m_redis.get(), "INFO stats"));
    if (!reply) {
        // A broken connection is unusable from now on.
        m_redis.reset();
        return -1;
    }
    std::int64_t total = -1;
    if (reply->type == REDIS_REPLY_STRING) {
        std::istringstream text(std::string(reply->str, reply->len));
        std::string line;
        const std::string key = "total_commands_processed:";
        while (std::getline(text, line))
            if (line.rfind(key, 0) == 0)
                total = std::stoll(line.substr(key.size()));
    }
    freeReplyObject(reply);
    return total;
}

std::int64_t resource_meter::service_allocations() const {
    return m_allocations ? static_cast<std::int64_t>(m_allocations.get()[0]) : -1;
}

std::int64_t resource_meter::main_thread_allocations() const {
    return m_allocations ? static_cast<std::int64_t>(m_allocations.get()[1]) : -1;
}

std::vector<double> resource_meter::service_metrics(const std::vector<std::string>& series) const {
    std::vector<double> values(series.size(), -1);
    if (m_metrics_url.empty())
        return values;
    const std::string body = libs::loopback_http::http_get(m_metrics_url);
    for (std::size_t i = 0; i < series.size(); ++i) {
        const std::string line_start = "\n" + series[i] + " ";
        const auto at = body.find(line_start);
        if (at != std::string::npos)
            values[i] = std::stod(body.substr(at + line_start.size()));
    }
    return values;
}

}  // namespace kel::bench
