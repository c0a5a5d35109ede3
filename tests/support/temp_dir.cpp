#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace kel::test {

temp_dir::temp_dir() {
    std::string pattern = "/tmp/quorvane-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = buffer.data();
}

temp_dir::~temp_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string temp_dir::write(const std::string& name, const std::string& content) const {
    const auto p = file(name);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
    return p;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

}  // namespace kel::test
