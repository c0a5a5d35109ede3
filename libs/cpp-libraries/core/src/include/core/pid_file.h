#pragma once

#include <string>

namespace kel::libs::core::detail {

// Returns when no other live instance is recorded at `path` (no file, an
// empty or unreadable number, 0, or a pid that no longer exists). Throws
// kel::libs::core::exception "Process is running" when the recorded process
// is alive, or "write_pid: kill(): ..." when it cannot be probed.
void check_pid(const std::string& path);

// Writes the current pid in decimal, without a newline. Throws
// "Error opening pid-file!" when the file cannot be opened for writing.
void write_pid(const std::string& path);

}  // namespace kel::libs::core::detail
