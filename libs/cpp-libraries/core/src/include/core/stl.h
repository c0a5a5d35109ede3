#pragma once

#include <boost/optional.hpp>

namespace kel::libs::core {

// Finds `key` in a std::map or std::unordered_map without inserting.
// Returns a reference to the stored value (const for a const map), or none.
template <typename Map, typename Key>
auto lookup(Map& map, const Key& key) -> boost::optional<decltype((map.find(key)->second))> {
    auto it = map.find(key);
    if (it == map.end())
        return boost::none;
    return it->second;
}

}  // namespace kel::libs::core
