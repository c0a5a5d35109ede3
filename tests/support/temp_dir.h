#pragma once

#include <string>

namespace kel::test {

// A fresh directory under /tmp, removed with its contents on destruction.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Writes `content` to `name` inside the directory and returns its path.
    std::string write(const std::string& name, const std::string& content) const;

private:
    std::string m_path;
};

std::string read_file(const std::string& path);

}  // namespace kel::test
