#include "core/pid_file.h"

#include "core/exception.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kel::libs::core::detail {

void check_pid(const std::string& path) {
    std::ifstream file(path);
    if (!file.is_open())
        return;
    long pid = 0;
    if (!(file >> pid))
        pid = 0;
    file.close();
    // A negative or absurd number would make kill() address a process group
    // or every process; such a file records no instance of ours.
    if (pid <= 0 || pid != static_cast<pid_t>(pid))
        return;
    if (kill(static_cast<pid_t>(pid), 0) == 0)
        throw exception("Process is running", KEL_SOURCE_LOCATION());
    if (errno == ESRCH)
        return;
    throw exception(std::string("write_pid: kill(): ") + std::strerror(errno), KEL_SOURCE_LOCATION());
}

void write_pid(const std::string& path) {
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (!file.is_open())
        throw exception("Error opening pid-file!", KEL_SOURCE_LOCATION());
    file << getpid();
}

}  // namespace kel::libs::core::detail
