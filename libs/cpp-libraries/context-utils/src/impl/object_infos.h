#pragma once

#include <string>

namespace kel::libs::context_utils {

enum class object_type {
    zone = 0,
    trackable_object = 1,
    win_anchor = 2,
    sublocation = 3,
    alarm = 4,
    node = 5,
    _count = 6
};

// Where the server lists one kind of object and how notifications name it.
struct object_info {
    object_type m_type;
    // Path appended to the HTTP client's base address.
    std::string m_rest_endpoint;
    // Member of the server's answer that holds the array of objects.
    std::string m_rest_json_name;
    // Value of "object" in notifications; empty for a kind without them.
    std::string m_notify_json_name;
};

// The catalogue of the kinds of server objects.
struct object_infos {
    static const object_info zone;
    static const object_info trackable_object;
    static const object_info win_anchor;
    static const object_info sublocation;
    static const object_info alarm;
    static const object_info node;
};

}  // namespace kel::libs::context_utils
