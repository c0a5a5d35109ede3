#include "core/exception.h"

#include <ostream>
#include <string>

namespace kel::libs::core {

namespace {

// Every exception the system raises builds this text, among them one per
// rejected message; a string stream cost a few times what the rest of the
// exception does.
std::string located_text(const source_location& location) {
    const boost::string_view file = location.short_file();
    std::string text(file.data(), file.size());
    text += ':';
    text += std::to_string(location.line());
    return text;
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
