#pragma once

#include "core/core.h"
#include "core/logger.h"

namespace kel::libs::core {

class core_impl final : public core {
public:
    explicit core_impl(const logger& logger);

    // The name is accepted for the log reader's sake and not used.
    events_loop::ptr create_events_loop(const std::string& name) override;

private:
    component_logger::ptr m_logger;
};

}  // namespace kel::libs::core
