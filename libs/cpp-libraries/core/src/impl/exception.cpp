#include "core/exception.h"

#include <sstream>

namespace kel::libs::core {

namespace {

std::string located_text(const source_location& location) {
    std::ostringstream os;
    os << source_location::remove_directory_prefix(location.file()) << ":" << location.line();
    return os.str();
}

}  // namespace

located_exception::located_exception(source_location location)
    : m_source_location(location), m_what(located_text(location)) {}

void located_exception::describe(std::ostream& os) const {
    os << m_what;
}

exception::exception(std::string message, source_location location)
    : located_exception(location), m_str_error(std::move(message)) {}

void exception::describe(std::ostream& os) const {
    located_exception::describe(os);
    os << " " << m_str_error;
}

}  // namespace kel::libs::core
