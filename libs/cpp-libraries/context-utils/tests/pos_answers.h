#pragma once

#include "context_utils/parsers/pos.h"

#include "core/exception.h"

#include <functional>
#include <string>

namespace kel::test {

// What a position view answers for the fields the service reads, in the
// order it reads them: each value, or the error text it throws.
inline std::string pos_answers(const libs::context_utils::parsers::pos& p) {
    std::string out;
    const auto answer = [&out](const std::function<std::string()>& read) {
        try {
            out += read();
        } catch (const libs::core::exception& e) {
            out += "error: " + e.get_string_error();
        }
        out += '|';
    };
    answer([&] { return std::to_string(p.get_z()); });
    answer([&] { return std::to_string(p.get_y()); });
    answer([&] { return std::to_string(p.get_x()); });
    answer([&] { return p.get_sublocation_uid().to_string(); });
    answer([&] { return p.get_trackable_uid().to_string(); });
    answer([&] { return std::to_string(p.get_ts().get_time_since_epoch().count()); });
    return out;
}

}  // namespace kel::test
