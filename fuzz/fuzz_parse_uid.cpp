// kel::parse_uid and kel::is_uid_text, with the properties every input
// keeps: both base64 alphabets decode alike, and only the first 22
// characters count.
#include "globals.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const kel::uid decoded = kel::parse_uid(text);
    kel::is_uid_text(text);

    std::string url_safe = text;
    for (char& c : url_safe) {
        if (c == '+')
            c = '-';
        else if (c == '/')
            c = '_';
    }
    if (kel::parse_uid(url_safe) != decoded)
        std::abort();
    if (text.size() > 22 && kel::parse_uid(text.substr(0, 22)) != decoded)
        std::abort();
    return 0;
}
