#pragma once

#include "config_parser/dictionary.h"
#include "value_impl.h"

#include <map>
#include <string>
#include <vector>

namespace kel::libs::config {

class dictionary_impl final : public dictionary {
public:
    boost::optional<const value&> get_value(const std::string& key) const override;
    std::vector<std::string> get_keys() const override;

    void add_value(const std::string& key, value_impl value);

private:
    std::map<std::string, value_impl> m_data;
};

}  // namespace kel::libs::config
