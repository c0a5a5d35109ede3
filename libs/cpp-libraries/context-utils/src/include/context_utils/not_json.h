#pragma once

#include <core/exception.h>

namespace kel::libs::context_utils {

// A message whose text is not JSON at all, told apart from a message whose
// fields are wrong (the plain kel::libs::core::exception, thrown). The
// synchronizer returns it rather than throwing it, so that garbage costs no
// unwinding; it is an exception still, so that it logs like any other. The
// text is "parse_error: " and the parser's reason.
class not_json : public core::exception {
public:
    using exception::exception;
};

}  // namespace kel::libs::context_utils
