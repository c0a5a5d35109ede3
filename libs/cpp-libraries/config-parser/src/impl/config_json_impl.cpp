#include "config_json_impl.h"

#include <stdexcept>

namespace kel::libs::config {

template <>
config::ptr config::create<type::json>(std::istream& stream) {
    return std::make_unique<config_json_impl>(stream);
}

config_json_impl::config_json_impl(std::istream& stream) {
    // Default settings, so comments are accepted; they are not kept.
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    Json::Value root;
    std::string errors;
    if (!Json::parseFromStream(builder, stream, &root, &errors))
        throw std::runtime_error("Cannot parse json: " + errors);

    auto& root_dictionary = m_dictionaries.emplace_back();
    // A root that is not an object (an array, a number) has no keys to offer.
    if (root.isObject())
        fill(root_dictionary, root);
}

void config_json_impl::fill(dictionary_impl& target, const Json::Value& object) {
    for (auto member = object.begin(); member != object.end(); ++member)
        target.add_value(member.name(), make_value(*member));
}

value_impl config_json_impl::make_value(const Json::Value& json) {
    if (json.isObject()) {
        auto& nested = m_dictionaries.emplace_back();
        fill(nested, json);
        return value_impl(static_cast<const dictionary&>(nested));
    }
    if (json.isArray()) {
        auto& items = m_arrays.emplace_back();
        items.reserve(json.size());
        for (const auto& element : json)
            items.push_back(make_value(element));
        // The range is taken once the vector is complete and will not move again.
        return value_impl(value::array(items));
    }
    return value_impl(json);
}

}  // namespace kel::libs::config
