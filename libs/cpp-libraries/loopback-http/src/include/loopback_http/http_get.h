#pragma once

#include <string>

namespace kel::libs::loopback_http {

// The body of GET `url` through libcurl, waiting at most 5 seconds; empty
// when the request failed.
std::string http_get(const std::string& url);

}  // namespace kel::libs::loopback_http
