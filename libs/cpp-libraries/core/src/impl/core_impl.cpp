#include "core_impl.h"

#include "events_loop_impl.h"

namespace kel::libs::core {

core::ptr core::create(const logger& logger) {
    return std::make_unique<core_impl>(logger);
}

core_impl::core_impl(const logger& logger) : m_logger(logger.component("core")) {}

events_loop::ptr core_impl::create_events_loop(const std::string&) {
    return std::make_unique<events_loop_impl>(*this, *m_logger);
}

}  // namespace kel::libs::core
