#include "context/writable_context.h"

namespace kel::context {

writable_context::writable_context() = default;

writable_context::~writable_context() = default;

}  // namespace kel::context
