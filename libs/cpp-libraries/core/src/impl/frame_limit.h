#pragma once

#include "core/logger.h"

#include <boost/utility/string_view.hpp>

#include <cstddef>

namespace kel::libs::core {

// Bounds what one incoming frame may cost the process. Parsing a frame
// takes many times its size on the heap (a 24 MB zone notification took
// 400 MB), so a frame longer than `max_bytes` is refused with an error line
// naming its size, the limit and its first bytes. After a large frame was
// handled, the heap's free memory is given back to the system, which glibc
// would otherwise keep. The logger must outlive it.
class frame_limit {
public:
    // Far above any frame of a real site (a notification is a few KB).
    static constexpr std::size_t default_max_bytes = 4 * 1024 * 1024;
    // Frames from this size on are followed by a trim.
    static constexpr std::size_t trim_bytes = 1024 * 1024;

    explicit frame_limit(const component_logger& logger, std::size_t max_bytes = default_max_bytes);

    bool admits(boost::string_view frame) const;
    // Called once a frame was delivered.
    void handled(std::size_t size) const;

private:
    const component_logger& m_logger;
    std::size_t m_max_bytes;
};

}  // namespace kel::libs::core
