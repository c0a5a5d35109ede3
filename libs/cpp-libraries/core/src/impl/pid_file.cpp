#include "core/pid_file.h"

#include "core/exception.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kel::libs::core {

namespace {

[[noreturn]] void throw_system_error(const std::string& path, int error) {
    KEL_THROW("Error opening pid-file! " + path + ": " + std::strerror(error));
}

void write_all(int descriptor, const std::string& path, const std::string& text) {
    if (ftruncate(descriptor, 0) != 0)
        throw_system_error(path, errno);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = pwrite(descriptor, text.data() + written, text.size() - written,
                                 static_cast<off_t>(written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw_system_error(path, errno);
        written += static_cast<std::size_t>(n);
    }
}

}  // namespace

pid_file::ptr pid_file::create(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0)
        throw_system_error(path, errno);
    // Owned from here on: every failure below closes it, and the lock with it.
    ptr file(new pid_file(descriptor));
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            KEL_THROW("Process is running");
        throw_system_error(path, errno);
    }
    // Under the lock: an instance that holds none (an older build) is still
    // recognised by its recorded pid.
    detail::check_pid(path);
    write_all(descriptor, path, std::to_string(getpid()));
    return file;
}

pid_file::~pid_file() {
    ::close(m_descriptor);
}

namespace detail {

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

}  // namespace detail

}  // namespace kel::libs::core
