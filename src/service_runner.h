#pragma once

#include "core/logger.h"

#include <string>

namespace kel {

// Exit statuses of the service process.
enum exit_status : int { exit_ok = 0, exit_failure = 1 };

// Everything main does once the command line is accepted: read the
// configuration, check and write the pid file, build the core, the events
// loop and the service, and run the loop until it is stopped. Returns
// exit_ok after a normal stop or a stop requested by SIGINT/SIGTERM during
// start-up, exit_failure when the service could not start, so that a
// supervisor can tell a daemon that never ran from one that was stopped.
int run_service(const std::string& config_path, libs::core::logger& logger);

}  // namespace kel
