#include "core/http/result.h"

namespace kel::libs::core::http {

result::result(std::string body, int code) : m_code(code) {
    if (code >= 200 && code <= 299)
        m_data = std::move(body);
    else
        m_error = std::move(body);
}

result::result(std::string transport_error) : m_error(std::move(transport_error)) {}

}  // namespace kel::libs::core::http
