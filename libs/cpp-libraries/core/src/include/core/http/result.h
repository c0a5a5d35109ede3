#pragma once

#include <boost/optional.hpp>

#include <string>

namespace kel::libs::core::http {

// The outcome of one HTTP transfer. A response with a 2xx status carries its
// body as data; any other response carries its body as error; a transfer
// that got no response carries the transport error text and no status code.
class result {
public:
    result(std::string body, int code);
    explicit result(std::string transport_error);

    bool ok() const { return static_cast<bool>(m_data); }
    const boost::optional<int>& status_code() const { return m_code; }
    const boost::optional<std::string>& data() const { return m_data; }
    const boost::optional<std::string>& error() const { return m_error; }

private:
    boost::optional<int> m_code;
    boost::optional<std::string> m_data;
    boost::optional<std::string> m_error;
};

}  // namespace kel::libs::core::http
