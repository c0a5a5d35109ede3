#include "frame_limit.h"

#include <malloc.h>

namespace kel::libs::core {

frame_limit::frame_limit(const component_logger& logger, std::size_t max_bytes)
    : m_logger(logger), m_max_bytes(max_bytes) {}

bool frame_limit::admits(boost::string_view frame) const {
    if (frame.size() <= m_max_bytes)
        return true;
    // The first bytes name the topic and usually the object.
    m_logger.error("Dropped a frame of %1% bytes, more than the limit of %2%: %3%") % frame.size() % m_max_bytes %
        log_excerpt(frame, 100);
    return false;
}

void frame_limit::handled(std::size_t size) const {
    if (size >= trim_bytes)
        malloc_trim(0);
}

}  // namespace kel::libs::core
