#include "service_runner.h"

#include "core/logger.h"

#include <malloc.h>
#include <signal.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const service_name = "quorvane";

// Reads "-c config_file"; the last -c wins and other arguments are ignored.
// Exits with status 1 on a usage error.
std::string parse_command_line(int argc, char* argv[]) {
    std::string path;
    int option = 0;
    while ((option = getopt(argc, argv, "c:")) != -1) {
        if (option != 'c') {
            syslog(LOG_INFO, "Usage: %s -c config_file", argv[0]);
            std::fprintf(stderr, "Usage: %s -c config_file\n", argv[0]);
            std::exit(1);
        }
        path = optarg;
    }
    if (path.empty()) {
        syslog(LOG_ERR, "The configuration file is not defined! Usage: %s -c config_file\n", argv[0]);
        std::fprintf(stderr, "The configuration file is not defined! Usage: %s -c config_file\n", argv[0]);
        std::exit(1);
    }
    return path;
}

}  // namespace

int main(int argc, char* argv[]) {
    // A write to a peer that went away (Redis, a socket) must come back as
    // an error, not end the process.
    ::signal(SIGPIPE, SIG_IGN);
    // The server's answers at a re-synchronization are bodies of tens of
    // megabytes, read on the HTTP client's threads. Left to itself, glibc
    // raises its mapping threshold to the size of the first such block it
    // frees, after which the next ones come from those threads' arenas,
    // whose freed tops it keeps: each re-synchronization then left the
    // process larger by about the size of its answers. A fixed threshold
    // maps blocks this large on their own and unmaps them when freed.
    ::mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    kel::libs::core::logger logger(service_name, "main");
    const std::string config_path = parse_command_line(argc, argv);
    return kel::run_service(config_path, logger);
}
