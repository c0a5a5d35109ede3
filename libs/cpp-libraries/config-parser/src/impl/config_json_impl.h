#pragma once

#include "config_parser/config.h"
#include "dictionary_impl.h"
#include "value_impl.h"

#include <json/json.h>

#include <istream>
#include <list>
#include <vector>

namespace kel::libs::config {

// The tree of a JSON document. Values refer to dictionaries and arrays by
// reference; the lists keep every node at its address for the life of the
// object.
class config_json_impl final : public config {
public:
    explicit config_json_impl(std::istream& stream);
    config_json_impl(const config_json_impl&) = delete;
    config_json_impl& operator=(const config_json_impl&) = delete;

    const dictionary& get_root() const override { return m_dictionaries.front(); }

private:
    void fill(dictionary_impl& target, const Json::Value& object);
    value_impl make_value(const Json::Value& json);

    std::list<dictionary_impl> m_dictionaries;  // the first one is the root
    std::list<std::vector<value_impl>> m_arrays;
};

}  // namespace kel::libs::config
