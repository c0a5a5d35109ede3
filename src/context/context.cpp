#include "context/context.h"

namespace kel::context {

context::context() = default;

context::~context() = default;

}  // namespace kel::context
