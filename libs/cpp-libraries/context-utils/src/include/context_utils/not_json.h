#pragma once

#include <core/exception.h>

namespace kel::libs::context_utils {

// Raised for a message whose text is not JSON at all, so that a service can
// tell it from a message whose fields are wrong (the plain
// kel::libs::core::exception). The text is "parse_error: " and the parser's
// reason.
class not_json : public core::exception {
public:
    using exception::exception;
};

}  // namespace kel::libs::context_utils
