#include "dictionary_impl.h"

namespace kel::libs::config {

boost::optional<const value&> dictionary_impl::get_value(const std::string& key) const {
    auto found = m_data.find(key);
    if (found == m_data.end())
        return boost::none;
    return found->second;
}

std::vector<std::string> dictionary_impl::get_keys() const {
    std::vector<std::string> keys;
    keys.reserve(m_data.size());
    for (const auto& entry : m_data)
        keys.push_back(entry.first);
    return keys;
}

void dictionary_impl::add_value(const std::string& key, value_impl value) {
    m_data.insert_or_assign(key, std::move(value));
}

}  // namespace kel::libs::config
