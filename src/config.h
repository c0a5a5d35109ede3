#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <set>
#include <string>

namespace kel {

// The service's configuration, read from a JSON file. Construction yields a
// complete record or throws kel::libs::core::exception.
struct config {
    explicit config(std::istream& stream);

    std::string proxy_output;  // "tcp://" proxy.address ":" proxy.output_port
    std::string proxy_input;   // "tcp://" proxy.address ":" proxy.input_port
    std::string server_url;    // server.protocol "://" server.address
    std::int32_t server_timeout = 0;  // seconds
    std::string redis_host;
    std::int32_t redis_port = 0;
    std::string redis_password;
    std::string pidfile_path;
    bool send_events_to_pubsub = true;
    bool print_events_to_log = false;
    bool debug_output = false;
    std::set<std::string> ignored_zone_types;

    // "metrics": where the metrics endpoint listens. Absent without the
    // object, and then there is no endpoint.
    struct listen_address {
        std::string address;
        std::int32_t port = 0;
    };
    std::optional<listen_address> metrics_endpoint;
};

// The configuration in the file at `path`. A file that cannot be read is
// refused before any parsing with kel::libs::core::exception "Cannot read
// configuration file <path>: <reason>", the reason being the system's ("No
// such file or directory", "Is a directory", "Permission denied") or "empty
// file"; otherwise throws what config(std::istream&) throws.
config read_config_file(const std::string& path);

}  // namespace kel
