#include "config_parser/config.h"

#include <boost/algorithm/string/join.hpp>

namespace kel::libs::config {

result<std::reference_wrapper<const dictionary>> config::find_parent(std::initializer_list<std::string> path) const {
    const dictionary* current = &get_root();
    std::string walked;
    const auto* key = path.begin();
    for (std::size_t i = 0; i + 1 < path.size(); ++i, ++key) {
        walked += (walked.empty() ? "" : ".") + *key;
        auto found = current->get_value(*key);
        auto object = found ? found->as_object() : boost::none;
        if (!object)
            return error_reason{"Can not find object <object>: " + walked + ", path: " + join(path)};
        current = &*object;
    }
    return std::cref(*current);
}

std::string config::join(std::initializer_list<std::string> path) {
    return boost::algorithm::join(path, ".");
}

}  // namespace kel::libs::config
