#pragma once

#include "position_stream.h"

#include <json/json.h>
#include <zmq.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kel::bench {

// Both sides of the message proxy for one subscriber under load: an XPUB
// bound on 127.0.0.1 that publishes the position stream (sndhwm 0, so that
// nothing is ever dropped; the XPUB also shows when the subscriber's "$pos"
// subscription is in place), and a PULL bound on 127.0.0.1 that receives
// the subscriber's events.
//
// What the subscriber has handled is learnt from the probe positions of the
// stream: the event of a probe says that every position published before it
// was handled too (one connection keeps the order both ways). Everything
// runs on the caller's thread; the stream must outlive the driver.
class load_driver {
public:
    struct phase_result {
        std::int64_t positions = 0;  // published and confirmed, probes included
        double seconds = 0;          // from the first publish to the last confirmation
        std::int64_t events = 0;     // events of the site, probes' not counted
        double first_half_rate = 0;  // positions per second in each half
        double second_half_rate = 0;
        std::int64_t max_backlog = 0;  // most positions published but not yet confirmed
        double drain_seconds = 0;      // from the last publish to the last confirmation
        double generator_cpu_seconds = 0;  // this process's CPU time in the phase
        // The share of the machine's CPU time that its hypervisor gave to
        // others in the phase (steal), from 0 to 1; -1 where unknown. A VM
        // whose cores are taken away answers late, whatever runs on it.
        double stolen_share = -1;
        std::vector<double> latencies_ms;  // publish to event, site events only
        std::vector<double> probe_latencies_ms;

        double positions_per_second() const { return seconds > 0 ? positions / seconds : 0; }
        double events_per_second() const { return seconds > 0 ? events / seconds : 0; }
    };

    // Binds both sockets on free loopback ports. Throws zmq::error_t.
    explicit load_driver(position_stream& stream);
    ~load_driver();
    load_driver(const load_driver&) = delete;
    load_driver& operator=(const load_driver&) = delete;

    int pub_port() const { return m_pub_port; }
    int pull_port() const { return m_pull_port; }

    // Waits for a "$pos" subscription, then for the first probe's event (the
    // subscriber may still be loading its site). False when either does not
    // come within `timeout`.
    bool wait_ready(std::chrono::seconds timeout);

    // As fast as the subscriber goes: at most `window` positions are
    // unconfirmed at any time. Throws std::runtime_error when a probe is not
    // answered within `patience`.
    phase_result run_closed_loop(std::chrono::seconds duration, std::int64_t window,
                                 std::chrono::seconds patience = std::chrono::seconds(30));
    // `rate` positions per second on a schedule aligned to the phase's start,
    // whatever the subscriber does; then waits for the last probe's event.
    phase_result run_fixed_rate(std::chrono::seconds duration, double rate,
                                std::chrono::seconds patience = std::chrono::seconds(60));

private:
    using clock = std::chrono::steady_clock;

    struct phase;

    static double cpu_seconds();
    struct machine_ticks {
        std::uint64_t all = 0;
        std::uint64_t stolen = 0;
    };
    // The machine's CPU ticks so far (/proc/stat); all zero where unknown.
    static machine_ticks machine_cpu();

    void publish(phase& p);
    void publish_to_probe(phase& p);
    // Receives what has arrived, waiting at most `wait` for the first
    // message.
    void receive(phase& p, std::chrono::milliseconds wait);
    void handle_event(phase& p, const zmq::message_t& message, clock::time_point at);
    void drain(phase& p, std::chrono::seconds patience);
    phase_result finish(phase& p) const;
    std::int64_t confirmed_count() const { return m_confirmed + 1; }

    position_stream& m_stream;
    zmq::context_t m_context;
    zmq::socket_t m_pub;
    zmq::socket_t m_pull;
    int m_pub_port = 0;
    int m_pull_port = 0;
    std::unique_ptr<Json::CharReader> m_reader;
    // Publish time of every position, by position number.
    std::vector<clock::time_point> m_published;
    // Highest position number known handled, -1 for none.
    std::int64_t m_confirmed = -1;
};

}  // namespace kel::bench
