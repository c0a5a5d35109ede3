#pragma once

#include <boost/utility/string_view.hpp>

#include <cstdint>

namespace kel::libs::core {

// Where something happened in the source. The file and function views refer
// to string literals (__FILE__, __PRETTY_FUNCTION__), so copies stay valid.
class source_location {
public:
    source_location() = default;
    source_location(std::int64_t line, boost::string_view file, boost::string_view function)
        : m_line(line), m_file(file), m_function(function) {}

    std::int64_t line() const { return m_line; }
    boost::string_view file() const { return m_file; }
    boost::string_view short_file() const { return remove_directory_prefix(m_file); }
    boost::string_view function() const { return m_function; }
    // The qualified name from the first "kel::" before the parameter list,
    // without the return type and the parameters.
    boost::string_view short_function() const;

    // Drops the build's source directory from the front of `path`.
    static boost::string_view remove_directory_prefix(boost::string_view path);

private:
    std::int64_t m_line = 0;
    boost::string_view m_file = "unknown file";
    boost::string_view m_function = "unknown function";
};

}  // namespace kel::libs::core

#define KEL_SOURCE_LOCATION() ::kel::libs::core::source_location(__LINE__, __FILE__, __PRETTY_FUNCTION__)
