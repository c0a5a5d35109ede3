#include "service_runner.h"

#include "application.h"
#include "config.h"

#include "core/core.h"
#include "core/events_loop.h"
#include "core/pid_file.h"

#include <memory>

namespace kel {

namespace {

// Runs the loop until it returns normally; an exception escaping a handler
// is logged and the loop resumes.
void run_loop(libs::core::events_loop& loop, libs::core::logger& logger) {
    for (;;) {
        try {
            loop.run();
            return;
        } catch (...) {
            logger.log_exception();
        }
    }
}

}  // namespace

int run_service(const std::string& config_path, libs::core::logger& logger) {
    std::unique_ptr<config> configuration;
    // Locked until the process has torn everything else down.
    libs::core::pid_file::ptr pid;
    libs::core::core::ptr core;
    libs::core::events_loop::ptr loop;
    std::unique_ptr<application> service;
    try {
        configuration = std::make_unique<config>(read_config_file(config_path));
        pid = libs::core::pid_file::create(configuration->pidfile_path);
        core = libs::core::core::create(logger);
        loop = core->create_events_loop("main loop");
        service = std::make_unique<application>(*loop, *configuration, logger);
    } catch (const start_interrupted&) {
        logger.log_exception();
        return exit_ok;
    } catch (...) {
        logger.log_exception();
        return exit_failure;
    }
    run_loop(*loop, logger);
    return exit_ok;
}

}  // namespace kel
