#include "core/http/method.h"

#include "core/exception.h"

namespace kel::libs::core::http {

std::string to_string(method m) {
    switch (m) {
    case method::get:
        return "GET";
    case method::post:
        return "POST";
    case method::put:
        return "PUT";
    case method::del:
        return "DELETE";
    case method::_count:
        break;
    }
    KEL_THROW("Unknown enumeration value");
}

}  // namespace kel::libs::core::http
