#pragma once

#include "core/source_location.h"

#include <exception>
#include <ostream>
#include <string>

namespace kel::libs::core {

// Base of every error the system raises: it knows where it was raised.
// what() gives "file:line"; subclasses append their message in describe().
class located_exception : public std::exception {
public:
    explicit located_exception(source_location location);

    const char* what() const noexcept override { return m_what.c_str(); }
    virtual void describe(std::ostream& os) const;
    const source_location& location() const { return m_source_location; }

private:
    source_location m_source_location;
    std::string m_what;
};

// An error with a message: described as "file:line message".
class exception : public located_exception {
public:
    exception(std::string message, source_location location);

    void describe(std::ostream& os) const override;
    const std::string& get_string_error() const { return m_str_error; }

private:
    std::string m_str_error;
};

// A broken internal expectation, raised by KEL_CHECK.
class check_failed_exception : public exception {
public:
    using exception::exception;
};

}  // namespace kel::libs::core

#define KEL_THROW(message) throw ::kel::libs::core::exception((message), KEL_SOURCE_LOCATION())

#define KEL_CHECK(expression)                                                                     \
    do {                                                                                          \
        if (!(expression))                                                                        \
            throw ::kel::libs::core::check_failed_exception(#expression, KEL_SOURCE_LOCATION()); \
    } while (false)
