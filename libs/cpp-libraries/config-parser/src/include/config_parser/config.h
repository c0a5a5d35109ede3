#pragma once

#include "config_parser/dictionary.h"
#include "config_parser/result.h"
#include "config_parser/value.h"

#include <functional>
#include <initializer_list>
#include <istream>
#include <memory>
#include <string>

namespace kel::libs::config {

enum class type { json = 0 };

// A parsed configuration document: a read-only tree under one root object.
class config {
public:
    using type = libs::config::type;
    using ptr = std::unique_ptr<config>;

    virtual ~config() = default;

    virtual const dictionary& get_root() const = 0;

    // Reads the whole stream; throws std::runtime_error "Cannot parse json: ..."
    // when it cannot be read or parsed.
    template <type Type>
    static ptr create(std::istream& stream);

    // Looks up the value under `path` (keys from the root down) and converts
    // it to T; never throws.
    template <typename T>
    result<T> get_by_path(std::initializer_list<std::string> path) const {
        auto parent = find_parent(path);
        if (!parent.ok())
            return error_reason{parent.reason()};
        if (path.size() > 0) {
            if (auto found = parent.value().get().template get<T>(*(path.end() - 1)))
                return std::move(*found);
        }
        return error_reason{"Can not find field <" + std::string(value_traits<T>::name) + ">: " + join(path)};
    }

private:
    // The dictionary holding the last key of `path`.
    result<std::reference_wrapper<const dictionary>> find_parent(std::initializer_list<std::string> path) const;
    static std::string join(std::initializer_list<std::string> path);
};

template <>
config::ptr config::create<type::json>(std::istream& stream);

}  // namespace kel::libs::config
