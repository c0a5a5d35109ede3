#pragma once

#include <chrono>
#include <string>

namespace kel::site {

// What the command line of quorvane-site asks for. parse() never ends the
// process: a wrong command line throws std::invalid_argument whose text says
// what is wrong, and the caller prints it with usage().
struct options {
    std::string site_path;
    int http_port = 0;
    int pub_port = 0;
    int pull_port = 0;
    // Positions published per second for each tag.
    double rate = 10.0;
    // Zero runs until SIGINT or SIGTERM.
    std::chrono::seconds duration{0};
    // Also print the JSON of every event received.
    bool raw = false;
    // Times of the printed lines in UTC instead of local time.
    bool utc = false;
    bool help = false;

    static options parse(int argc, char* argv[]);
    static std::string usage(const std::string& program);
};

}  // namespace kel::site
