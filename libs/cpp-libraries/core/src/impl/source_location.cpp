#include "core/source_location.h"

#include "core/constants.h"

namespace kel::libs::core {

boost::string_view source_location::remove_directory_prefix(boost::string_view path) {
    const auto prefix = constants::source_directory.size();
    if (path.size() < prefix)
        return path.substr(path.size());
    return path.substr(prefix);
}

boost::string_view source_location::short_function() const {
    const auto f = m_function;
    if (f.size() <= 4)
        return f;
    const auto open = f.find('(');
    if (open == boost::string_view::npos)
        return f;
    // The last "kel::" that starts before the parameter list: a return type
    // such as "kel::x::result kel::x::f(...)" must not be taken for the name.
    const auto start = f.substr(0, open).rfind("kel::");
    if (start == boost::string_view::npos)
        return f;
    return f.substr(start, open - start);
}

}  // namespace kel::libs::core
