#include "load_options.h"

#include <getopt.h>

#include <cstdlib>
#include <stdexcept>

namespace kel::bench {

namespace {

enum option_id : int {
    seed_id = 1,
    tags_id,
    warmup_id,
    closed_id,
    fixed_id,
    rate_id,
    max_rate_id,
    window_id,
    probe_every_id,
    walkers_id,
    ready_timeout_id,
    pidfile_id,
    redis_port_id,
    metrics_port_id,
    allocation_counter_id,
    help_id
};

const ::option long_options[] = {
    {"seed", required_argument, nullptr, seed_id},
    {"tags", required_argument, nullptr, tags_id},
    {"warmup", required_argument, nullptr, warmup_id},
    {"closed", required_argument, nullptr, closed_id},
    {"fixed", required_argument, nullptr, fixed_id},
    {"rate", required_argument, nullptr, rate_id},
    {"max-rate", required_argument, nullptr, max_rate_id},
    {"window", required_argument, nullptr, window_id},
    {"probe-every", required_argument, nullptr, probe_every_id},
    {"walkers", required_argument, nullptr, walkers_id},
    {"ready-timeout", required_argument, nullptr, ready_timeout_id},
    {"service-pidfile", required_argument, nullptr, pidfile_id},
    {"redis-port", required_argument, nullptr, redis_port_id},
    {"metrics-port", required_argument, nullptr, metrics_port_id},
    {"allocation-counter", required_argument, nullptr, allocation_counter_id},
    {"help", no_argument, nullptr, help_id},
    {nullptr, 0, nullptr, 0},
};

// The whole text must be a number at least `least`; strtol alone accepts
// "12abc".
long whole_number(const std::string& name, const char* text, long least) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < least)
        throw std::invalid_argument("--" + name + ": not a whole number of at least " + std::to_string(least) +
                                    ": " + text);
    return value;
}

position_stream::walkers walkers_of(const std::string& text) {
    if (text == "all")
        return position_stream::walkers::all;
    if (text == "ordinary")
        return position_stream::walkers::ordinary;
    if (text == "carriers")
        return position_stream::walkers::carriers;
    throw std::invalid_argument("--walkers: not all, ordinary or carriers: " + text);
}

std::chrono::seconds seconds_of(const std::string& name, const char* text, long least) {
    return std::chrono::seconds(whole_number(name, text, least));
}

}  // namespace

load_options load_options::parse(int argc, char* argv[]) {
    load_options o;
    optind = 1;
    opterr = 0;
    int id = 0;
    while ((id = getopt_long(argc, argv, "", long_options, nullptr)) != -1) {
        switch (id) {
            case seed_id: o.seed = static_cast<std::uint32_t>(whole_number("seed", optarg, 0)); break;
            // At least the site's carriers, which are its first tags.
            case tags_id: o.tags = static_cast<int>(whole_number("tags", optarg, 500)); break;
            case warmup_id: o.warmup = seconds_of("warmup", optarg, 0); break;
            case closed_id: o.closed = seconds_of("closed", optarg, 1); break;
            case fixed_id: o.fixed = seconds_of("fixed", optarg, 0); break;
            case rate_id: o.rate = static_cast<double>(whole_number("rate", optarg, 0)); break;
            case max_rate_id: o.max_rate = static_cast<double>(whole_number("max-rate", optarg, 1)); break;
            case window_id: o.window = whole_number("window", optarg, 1); break;
            case probe_every_id: o.probe_every = static_cast<int>(whole_number("probe-every", optarg, 1)); break;
            case walkers_id: o.walkers = walkers_of(optarg); break;
            case ready_timeout_id: o.ready_timeout = seconds_of("ready-timeout", optarg, 1); break;
            case pidfile_id: o.service_pidfile = optarg; break;
            case redis_port_id: o.redis_port = static_cast<int>(whole_number("redis-port", optarg, 1)); break;
            case allocation_counter_id: o.allocation_counter = optarg; break;
            case metrics_port_id: o.metrics_port = static_cast<int>(whole_number("metrics-port", optarg, 1)); break;
            case help_id: o.help = true; return o;
            default: throw std::invalid_argument(std::string("unknown option or missing value: ") + argv[optind - 1]);
        }
    }
    if (optind < argc)
        throw std::invalid_argument(std::string("unexpected argument: ") + argv[optind]);
    if (o.window < o.probe_every)
        throw std::invalid_argument("--window must hold at least one probe (--probe-every)");
    return o;
}

std::string load_options::usage(const std::string& program) {
    return "Usage: " + program +
           " [--seed N] [--tags N] [--warmup S] [--closed S] [--fixed S] [--rate N] [--max-rate N]\n"
           "       [--window N] [--probe-every N] [--walkers all|ordinary|carriers] [--ready-timeout S]\n"
           "       [--service-pidfile FILE] [--redis-port PORT] [--metrics-port PORT]\n"
           "       [--allocation-counter FILE]\n"
           "\n"
           "Load generator for quorvane on 127.0.0.1: serves the synthetic site of the engine\n"
           "benchmark under /api/private/ over HTTP, publishes seeded random-walk \"$pos\"\n"
           "positions on an XPUB socket (the proxy output) and receives the events on a PULL\n"
           "socket (the proxy input). Binds free ports and prints them on one line:\n"
           "  load_site: serving http=PORT pub=PORT pull=PORT probe=UID\n"
           "then waits for a subscriber, runs the phases and prints \"result NAME VALUE\" lines.\n"
           "\n"
           "  --seed N             seed of the site and of the stream (default 42)\n"
           "  --tags N             trackable objects of the site, 500 of them carriers (default 10000)\n"
           "  --warmup S           unmeasured closed-loop traffic first (default 5)\n"
           "  --closed S           closed-loop phase: as fast as the subscriber goes (default 45)\n"
           "  --fixed S            fixed-rate phase for latency, 0 skips it (default 45)\n"
           "  --rate N             positions/s of the fixed-rate phase (default: 80 % of the\n"
           "                       closed-loop rate, at most --max-rate)\n"
           "  --max-rate N         cap of the default rate (default 20000)\n"
           "  --window N           most unconfirmed positions in the closed loop (default 1024)\n"
           "  --probe-every N      one probe position in N (default 32)\n"
           "  --walkers W          which tags walk: all (default), ordinary (those that carry\n"
           "                       nothing) or carriers (those that carry two circles)\n"
           "  --ready-timeout S    how long to wait for the subscriber (default 180)\n"
           "  --service-pidfile F  the service's pid file: its VmRSS is reported\n"
           "  --redis-port PORT    the service's Redis on 127.0.0.1: commands/s are reported\n"
           "  --metrics-port PORT  the service's metrics endpoint on 127.0.0.1: the round trips\n"
           "                       its Redis client counted are reported\n"
           "  --allocation-counter F  the file of the allocation counter preloaded into the\n"
           "                       service (bench/liballocation_counter.so): allocations per\n"
           "                       position are reported\n";
}

}  // namespace kel::bench
