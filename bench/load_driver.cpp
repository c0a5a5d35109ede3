#include "load_driver.h"

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace kel::bench {

namespace {

const char* const event_prefix = "#zone_event ";

int bind_free(zmq::socket_t& socket) {
    socket.bind("tcp://127.0.0.1:*");
    const std::string endpoint = socket.get(zmq::sockopt::last_endpoint);
    return std::stoi(endpoint.substr(endpoint.rfind(':') + 1));
}

double milliseconds_between(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double seconds_between(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

struct load_driver::phase {
    clock::time_point start;
    std::int64_t first_seq = 0;
    // Confirmed position count after each probe's event, with its time.
    std::vector<std::pair<clock::time_point, std::int64_t>> acks;
    clock::time_point last_publish;
    clock::time_point last_ack;
    double cpu_at_start = cpu_seconds();
    machine_ticks machine_at_start = machine_cpu();
    phase_result result;
};

load_driver::load_driver(position_stream& stream)
    : m_stream(stream),
      m_context(1),
      m_pub(m_context, zmq::socket_type::xpub),
      m_pull(m_context, zmq::socket_type::pull),
      m_reader(Json::CharReaderBuilder().newCharReader()) {
    // The generator bursts: with the default high-water mark the XPUB would
    // drop what the subscriber has not taken yet.
    m_pub.set(zmq::sockopt::sndhwm, 0);
    m_pub.set(zmq::sockopt::linger, 0);
    m_pull.set(zmq::sockopt::linger, 0);
    m_pub_port = bind_free(m_pub);
    m_pull_port = bind_free(m_pull);
}

load_driver::~load_driver() = default;

bool load_driver::wait_ready(std::chrono::seconds timeout) {
    const auto deadline = clock::now() + timeout;
    bool subscribed = false;
    while (!subscribed && clock::now() < deadline) {
        zmq::pollitem_t items[] = {{m_pub.handle(), 0, ZMQ_POLLIN, 0}};
        zmq::poll(items, 1, std::chrono::milliseconds(100));
        zmq::message_t m;
        while (m_pub.recv(m, zmq::recv_flags::dontwait)) {
            const std::string text = m.to_string();
            subscribed = subscribed || text == std::string("\x01") + "$pos";
        }
    }
    if (!subscribed)
        return false;
    phase p;
    p.start = clock::now();
    p.first_seq = m_stream.next_seq();
    publish_to_probe(p);
    const std::int64_t target = m_stream.next_seq() - 1;
    while (m_confirmed < target && clock::now() < deadline)
        receive(p, std::chrono::milliseconds(100));
    return m_confirmed >= target;
}

load_driver::phase_result load_driver::run_closed_loop(std::chrono::seconds duration, std::int64_t window,
                                                       std::chrono::seconds patience) {
    phase p;
    p.start = clock::now();
    p.last_ack = p.start;
    p.first_seq = m_stream.next_seq();
    const auto end = p.start + duration;
    for (auto now = p.start; now < end; now = clock::now()) {
        while (m_stream.next_seq() - confirmed_count() < window)
            publish(p);
        receive(p, std::chrono::milliseconds(1));
        if (clock::now() - p.last_ack > patience)
            throw std::runtime_error("the subscriber stopped answering probes");
    }
    drain(p, patience);
    return finish(p);
}

load_driver::phase_result load_driver::run_fixed_rate(std::chrono::seconds duration, double rate,
                                                      std::chrono::seconds patience) {
    phase p;
    p.start = clock::now();
    p.last_ack = p.start;
    p.first_seq = m_stream.next_seq();
    const auto end = p.start + duration;
    const std::chrono::duration<double> period(1.0 / rate);
    std::int64_t sent = 0;
    for (auto now = p.start; now < end; now = clock::now()) {
        auto due = p.start + std::chrono::duration_cast<clock::duration>(period * sent);
        for (; due <= now; due = p.start + std::chrono::duration_cast<clock::duration>(period * sent)) {
            publish(p);
            ++sent;
        }
        // Whole milliseconds: the generator must not spin on a core that
        // the service needs.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - clock::now());
        receive(p, std::max(wait, std::chrono::milliseconds(1)));
    }
    drain(p, patience);
    return finish(p);
}

void load_driver::publish(phase& p) {
    const std::int64_t seq = m_stream.next_seq();
    m_stream.next();
    const std::string& frame = m_stream.frame();
    m_pub.send(zmq::buffer(frame.data(), frame.size()), zmq::send_flags::none);
    p.last_publish = clock::now();
    m_published.push_back(p.last_publish);
    p.result.max_backlog = std::max(p.result.max_backlog, seq + 1 - confirmed_count());
}

void load_driver::publish_to_probe(phase& p) {
    do
        publish(p);
    while (!m_stream.is_probe(m_stream.next_seq() - 1));
}

void load_driver::receive(phase& p, std::chrono::milliseconds wait) {
    zmq::pollitem_t items[] = {{m_pull.handle(), 0, ZMQ_POLLIN, 0}};
    zmq::poll(items, 1, wait);
    const auto at = clock::now();
    zmq::message_t m;
    while (m_pull.recv(m, zmq::recv_flags::dontwait))
        handle_event(p, m, at);
    // New subscriptions are of no interest after the start; they are read
    // only so that they do not pile up.
    while (m_pub.recv(m, zmq::recv_flags::dontwait)) {
    }
}

void load_driver::handle_event(phase& p, const zmq::message_t& message, clock::time_point at) {
    const char* begin = static_cast<const char*>(message.data());
    const char* end = begin + message.size();
    const std::size_t prefix = std::char_traits<char>::length(event_prefix);
    if (message.size() < prefix || std::string(begin, prefix) != event_prefix)
        return;
    Json::Value event;
    std::string errors;
    if (!m_reader->parse(begin + prefix, end, &event, &errors) || !event.isObject())
        return;
    if (!event["ts"].isIntegral() || !event["ms"].isIntegral() || !event["obj_uid"].isString())
        return;
    const std::int64_t seq = m_stream.seq_of(event["ts"].asInt64() * 1000 + event["ms"].asInt64());
    if (seq < p.first_seq)
        return;
    const double latency = milliseconds_between(m_published[static_cast<std::size_t>(seq)], at);
    if (event["obj_uid"].asString() != m_stream.probe_uid()) {
        ++p.result.events;
        p.result.latencies_ms.push_back(latency);
        return;
    }
    p.result.probe_latencies_ms.push_back(latency);
    if (seq > m_confirmed) {
        m_confirmed = seq;
        p.last_ack = at;
        p.acks.emplace_back(at, confirmed_count());
    }
}

void load_driver::drain(phase& p, std::chrono::seconds patience) {
    if (!m_stream.is_probe(m_stream.next_seq() - 1))
        publish_to_probe(p);
    const std::int64_t target = m_stream.next_seq() - 1;
    // A subscriber far behind a fixed rate may take long to catch up, but
    // not for ever.
    const auto give_up = clock::now() + std::chrono::minutes(10);
    while (m_confirmed < target) {
        receive(p, std::chrono::milliseconds(10));
        if (clock::now() - std::max(p.last_ack, p.last_publish) > patience)
            throw std::runtime_error("the subscriber stopped answering probes");
        if (clock::now() > give_up)
            throw std::runtime_error("the subscriber did not catch up within 10 minutes");
    }
    p.result.drain_seconds = seconds_between(p.last_publish, p.last_ack);
}

// User and system time of the whole process: whether the generator itself
// could have been the limit.
double load_driver::cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

load_driver::machine_ticks load_driver::machine_cpu() {
    std::ifstream stat("/proc/stat");
    std::string label;
    machine_ticks ticks;
    // user nice system idle iowait irq softirq steal: guest time is already
    // counted in user and nice.
    std::uint64_t field[8] = {};
    if (!(stat >> label) || label != "cpu")
        return ticks;
    for (auto& f : field)
        if (!(stat >> f))
            return ticks;
    for (const auto f : field)
        ticks.all += f;
    ticks.stolen = field[7];
    return ticks;
}

load_driver::phase_result load_driver::finish(phase& p) const {
    phase_result r = std::move(p.result);
    r.positions = confirmed_count() - p.first_seq;
    r.seconds = seconds_between(p.start, p.last_ack);
    r.generator_cpu_seconds = cpu_seconds() - p.cpu_at_start;
    const machine_ticks machine = machine_cpu();
    if (machine.all > p.machine_at_start.all)
        r.stolen_share = static_cast<double>(machine.stolen - p.machine_at_start.stolen) /
                         static_cast<double>(machine.all - p.machine_at_start.all);
    const auto middle = p.start + (p.last_ack - p.start) / 2;
    std::int64_t at_middle = p.first_seq;
    for (const auto& [time, count] : p.acks)
        if (time <= middle)
            at_middle = count;
    const double half = r.seconds / 2;
    if (half > 0) {
        r.first_half_rate = (at_middle - p.first_seq) / half;
        r.second_half_rate = (confirmed_count() - at_middle) / half;
    }
    return r;
}

}  // namespace kel::bench
