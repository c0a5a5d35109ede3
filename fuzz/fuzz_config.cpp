// The configuration file, read by kel::config.
#include "config.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream stream(std::string(reinterpret_cast<const char*>(data), size));
    try {
        const kel::config c(stream);
    } catch (const std::exception&) {
        // An invalid file is refused with an exception; anything else
        // (a crash, undefined behaviour) is a finding.
    }
    return 0;
}
