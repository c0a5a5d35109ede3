#include "options.h"

#include <getopt.h>

#include <cstdlib>
#include <stdexcept>

namespace kel::site {

namespace {

enum option_id : int { site_id = 1, http_port_id, pub_port_id, pull_port_id, rate_id, duration_id, raw_id, utc_id,
                       help_id };

const ::option long_options[] = {
    {"site", required_argument, nullptr, site_id},
    {"http-port", required_argument, nullptr, http_port_id},
    {"pub-port", required_argument, nullptr, pub_port_id},
    {"pull-port", required_argument, nullptr, pull_port_id},
    {"rate", required_argument, nullptr, rate_id},
    {"duration", required_argument, nullptr, duration_id},
    {"raw", no_argument, nullptr, raw_id},
    {"utc", no_argument, nullptr, utc_id},
    {"help", no_argument, nullptr, help_id},
    {nullptr, 0, nullptr, 0},
};

// The whole text must be the number; strtol alone accepts "12abc".
long whole_number(const std::string& name, const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0')
        throw std::invalid_argument("--" + name + ": not a number: " + text);
    return value;
}

int port_of(const std::string& name, const char* text) {
    const long value = whole_number(name, text);
    if (value < 1 || value > 65535)
        throw std::invalid_argument("--" + name + ": not a port: " + text);
    return static_cast<int>(value);
}

double rate_of(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (*text == '\0' || *end != '\0' || !(value > 0.0 && value <= 100.0))
        throw std::invalid_argument(std::string("--rate: not a rate between 0 and 100 per second: ") + text);
    return value;
}

void check_complete(const options& o) {
    if (o.site_path.empty())
        throw std::invalid_argument("--site is required");
    if (o.http_port == 0 || o.pub_port == 0 || o.pull_port == 0)
        throw std::invalid_argument("--http-port, --pub-port and --pull-port are required");
}

}  // namespace

options options::parse(int argc, char* argv[]) {
    options o;
    optind = 1;
    opterr = 0;
    int id = 0;
    while ((id = getopt_long(argc, argv, "", long_options, nullptr)) != -1) {
        switch (id) {
            case site_id: o.site_path = optarg; break;
            case http_port_id: o.http_port = port_of("http-port", optarg); break;
            case pub_port_id: o.pub_port = port_of("pub-port", optarg); break;
            case pull_port_id: o.pull_port = port_of("pull-port", optarg); break;
            case rate_id: o.rate = rate_of(optarg); break;
            case duration_id: {
                const long seconds = whole_number("duration", optarg);
                if (seconds < 0)
                    throw std::invalid_argument(std::string("--duration: negative: ") + optarg);
                o.duration = std::chrono::seconds(seconds);
                break;
            }
            case raw_id: o.raw = true; break;
            case utc_id: o.utc = true; break;
            case help_id: o.help = true; return o;
            default: throw std::invalid_argument(std::string("unknown option or missing value: ") + argv[optind - 1]);
        }
    }
    if (optind < argc)
        throw std::invalid_argument(std::string("unexpected argument: ") + argv[optind]);
    check_complete(o);
    return o;
}

std::string options::usage(const std::string& program) {
    return "Usage: " + program +
           " --site FILE --http-port PORT --pub-port PORT --pull-port PORT [--rate N] [--duration S] [--raw] [--utc]\n"
           "\n"
           "A local demo site for quorvane on 127.0.0.1: serves the site's objects under\n"
           "/api/private/ on the HTTP port, publishes positions and zone changes on the\n"
           "PUB port (the proxy output), and prints every event pushed to the PULL port\n"
           "(the proxy input).\n"
           "\n"
           "  --site FILE       the site file (zones, trackable objects, routes, changes)\n"
           "  --http-port PORT  the HTTP server of the site's objects\n"
           "  --pub-port PORT   where the service subscribes to positions and changes\n"
           "  --pull-port PORT  where the service pushes its events\n"
           "  --rate N          positions per second for each tag (default 10)\n"
           "  --duration S      stop after S seconds (default 0: at SIGINT or SIGTERM)\n"
           "  --raw             also print the JSON of every event\n"
           "  --utc             print times in UTC instead of local time\n";
}

}  // namespace kel::site
