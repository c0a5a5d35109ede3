#pragma once

#include "context/context.h"

namespace kel::context {

// The context with its zones and trackable objects open for writing; given
// only to the components that drive the model.
class writable_context : public context {
public:
    writable_context();
    ~writable_context() override;

    using context::take_trackable_objects;
    using context::take_zones;
};

}  // namespace kel::context
