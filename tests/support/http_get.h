#pragma once

#include <string>

namespace kel::test {

// The body of GET `url` through libcurl, waiting at most 5 seconds; empty
// when the request failed.
std::string http_get(const std::string& url);

}  // namespace kel::test
