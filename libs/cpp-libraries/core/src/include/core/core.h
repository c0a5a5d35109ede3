#pragma once

#include "core/events_loop.h"

#include <memory>
#include <string>

namespace kel::libs::core {

class logger;

// Factory of events loops. The logger given to create() must outlive the
// core, and the core must outlive every loop it made.
class core {
public:
    using ptr = std::unique_ptr<core>;

    static ptr create(const logger& logger);

    virtual ~core() = default;
    virtual events_loop::ptr create_events_loop(const std::string& name) = 0;
};

}  // namespace kel::libs::core
