#pragma once

#include <string>

namespace kel::libs::core::http {

enum class method : int { get = 0, post = 1, put = 2, del = 3, _count = 4 };

// "GET", "POST", "PUT" or "DELETE"; any other value throws
// kel::libs::core::exception "Unknown enumeration value".
std::string to_string(method m);

}  // namespace kel::libs::core::http
