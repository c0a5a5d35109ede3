#pragma once

#include <memory>
#include <string>

namespace kel::libs::core {

// The pid file of the running instance. The object holds an exclusive
// flock on the file for as long as it lives, which is what tells apart two
// instances started at the same moment: the check of the recorded pid and
// the write of the new one are not atomic, the lock is. The file itself
// stays when the object dies (the next start overwrites a dead pid).
class pid_file {
public:
    using ptr = std::unique_ptr<pid_file>;

    // Opens (or creates) `path`, takes the lock, refuses a recorded live
    // process (detail::check_pid) and writes the current pid in decimal,
    // without a newline. Throws kel::libs::core::exception "Process is
    // running" when another process holds the lock or the recorded pid is
    // alive (the file then keeps its content), what check_pid throws, and
    // "Error opening pid-file! <path>: <system reason>" when the file
    // cannot be opened, locked or written.
    static ptr create(const std::string& path);
    ~pid_file();
    pid_file(const pid_file&) = delete;
    pid_file& operator=(const pid_file&) = delete;

private:
    explicit pid_file(int descriptor) : m_descriptor(descriptor) {}

    int m_descriptor;
};

namespace detail {

// Returns when no other live instance is recorded at `path` (no file, an
// empty or unreadable number, 0, or a pid that no longer exists). Throws
// kel::libs::core::exception "Process is running" when the recorded process
// is alive, or "write_pid: kill(): ..." when it cannot be probed.
void check_pid(const std::string& path);

}  // namespace detail

}  // namespace kel::libs::core
