#pragma once

#include "config_parser/value.h"

#include <boost/optional.hpp>

#include <string>
#include <vector>

namespace kel::libs::config {

// The members of one JSON object, by key.
class dictionary {
public:
    virtual ~dictionary() = default;

    virtual boost::optional<const value&> get_value(const std::string& key) const = 0;
    virtual std::vector<std::string> get_keys() const = 0;

    // Empty when the key is missing or holds another kind of value.
    template <typename T>
    boost::optional<T> get(const std::string& key) const {
        auto found = get_value(key);
        if (!found)
            return boost::none;
        return value_traits<T>::convert(*found);
    }
};

}  // namespace kel::libs::config
