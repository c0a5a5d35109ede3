#include "config.h"

#include "config_parser/config.h"
#include "core/exception.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>

namespace kel {

namespace {

using parser = libs::config::config;

constexpr const char* invalid_prefix = "Config file is invalid: ";

parser::ptr parse(std::istream& stream) {
    try {
        return parser::create<parser::type::json>(stream);
    } catch (const std::runtime_error& e) {
        // Same text ("Cannot parse json: ..."), raised as the service's own
        // exception so that it carries where it happened.
        KEL_THROW(e.what());
    }
}

std::string endpoint(const std::string& address, int port) {
    return "tcp://" + address + ":" + std::to_string(port);
}

[[noreturn]] void refuse_file(const std::string& path, const std::string& reason) {
    KEL_THROW("Cannot read configuration file " + path + ": " + reason);
}

std::string read_whole_file(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        refuse_file(path, std::strerror(errno));
    std::string text;
    int error = 0;
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        error = errno;
    } else if (S_ISDIR(status.st_mode)) {
        error = EISDIR;
    } else {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(descriptor, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                error = errno;
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(descriptor);
    if (error != 0)
        refuse_file(path, std::strerror(error));
    if (text.empty())
        refuse_file(path, "empty file");
    return text;
}

constexpr int highest_port = 65535;

// Empty when the file has no "metrics" object at all.
std::optional<libs::config::result<std::tuple<std::string, int>>> metrics_of(const parser& file) {
    if (!file.get_root().get_value("metrics"))
        return std::nullopt;
    auto port = file.get_by_path<int>({"metrics", "port"});
    if (port.ok() && (port.value() < 0 || port.value() > highest_port))
        port = libs::config::error_reason{"Port out of range 0.." + std::to_string(highest_port) +
                                          ": metrics.port"};
    return file.get_by_path<std::string>({"metrics", "address"}) + port;
}

}  // namespace

config read_config_file(const std::string& path) {
    std::istringstream stream(read_whole_file(path));
    return config(stream);
}

config::config(std::istream& stream) {
    const auto document = parse(stream);
    const auto& file = *document;

    send_events_to_pubsub = file.get_by_path<bool>({"debug", "send_events_to_pubsub"}).try_get().value_or(true);
    print_events_to_log = file.get_by_path<bool>({"debug", "print_events_to_log"}).try_get().value_or(false);
    debug_output = file.get_by_path<bool>({"debug", "debug_output"}).try_get().value_or(false);

    auto required = file.get_by_path<std::string>({"proxy", "address"}) +
                    file.get_by_path<int>({"proxy", "output_port"}) +
                    file.get_by_path<int>({"proxy", "input_port"}) +
                    file.get_by_path<std::string>({"server", "protocol"}) +
                    file.get_by_path<std::string>({"server", "address"}) +
                    file.get_by_path<int>({"server", "timeout"}) +
                    file.get_by_path<std::string>({"redis", "host"}) +
                    file.get_by_path<int>({"redis", "port"}) +
                    file.get_by_path<std::string>({"redis", "password"}) +
                    file.get_by_path<std::string>({"system", "pidfile"}) +
                    file.get_by_path<libs::config::value::array>({"ignored_zone_types"});
    // The optional "metrics" object, once present, needs both of its keys;
    // its reasons join those of the other keys.
    using endpoint_result = libs::config::result<std::tuple<std::string, int>>;
    std::optional<endpoint_result> metrics = metrics_of(file);
    std::string reasons = required.reason();
    if (metrics && !metrics->ok())
        reasons += (reasons.empty() ? "" : "\n") + metrics->reason();
    if (!reasons.empty())
        KEL_THROW(invalid_prefix + reasons);
    if (metrics) {
        const auto& [address, port] = metrics->value();
        metrics_endpoint = listen_address{address, port};
    }

    const auto& [proxy_address, output_port, input_port, server_protocol, server_address, timeout, host, port,
                 password, pidfile, zone_types] = required.value();
    proxy_output = endpoint(proxy_address, output_port);
    proxy_input = endpoint(proxy_address, input_port);
    server_url = server_protocol + "://" + server_address;
    server_timeout = timeout;
    redis_host = host;
    redis_port = port;
    redis_password = password;
    pidfile_path = pidfile;

    std::size_t position = 0;
    for (const auto& zone_type : zone_types) {
        auto name = zone_type.as_string();
        if (!name)
            KEL_THROW(invalid_prefix + std::string("ignored_zone_types: not a string on pos: ") +
                      std::to_string(position));
        ignored_zone_types.insert(std::move(*name));
        ++position;
    }
}

}  // namespace kel
