#pragma once

#include "position_stream.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace kel::bench {

// The command line of load_site. parse() never ends the process: a wrong
// command line throws std::invalid_argument saying what is wrong.
struct load_options {
    std::uint32_t seed = 42;
    // Trackable objects of the synthetic site (its carriers among them).
    int tags = 10000;
    // Unmeasured closed-loop traffic after the subscriber is ready.
    std::chrono::seconds warmup{5};
    // Length of the closed-loop (throughput) phase.
    std::chrono::seconds closed{45};
    // Length of the fixed-rate (latency) phase; 0 skips it.
    std::chrono::seconds fixed{45};
    // Positions per second of the fixed-rate phase; 0 takes 80 % of the
    // closed-loop rate, at most max_rate.
    double rate = 0;
    double max_rate = 20000;
    std::int64_t window = 1024;
    int probe_every = 32;
    position_stream::walkers walkers = position_stream::walkers::all;
    // The subscriber must be ready (subscribed, first probe answered) within.
    std::chrono::seconds ready_timeout{180};
    // The service to measure (its pid file and its Redis); empty or 0 when
    // the subscriber is not the service.
    std::string service_pidfile;
    int redis_port = 0;
    // The service's metrics endpoint on 127.0.0.1; 0 when it has none.
    int metrics_port = 0;
    // The counter file of the allocation counter preloaded into the
    // service; empty when it is not.
    std::string allocation_counter;
    bool help = false;

    static load_options parse(int argc, char* argv[]);
    static std::string usage(const std::string& program);
};

}  // namespace kel::bench
