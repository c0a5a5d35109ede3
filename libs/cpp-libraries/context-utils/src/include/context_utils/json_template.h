#pragma once

#include <json/json.h>

#include <utility>

namespace kel::libs::context_utils {

struct _json_notify_tag {};
struct _json_answer_tag {};
struct _json_object_tag {};

// A JSON document tagged with where it came from: a message of the stream
// (notification or position), a whole answer of the HTTP server, or one
// object of such an answer. Distinct types, so that a payload of one kind
// cannot be passed where another is expected. Owns its value.
template <typename Tag>
class json_template {
public:
    explicit json_template(Json::Value value) : m_value(std::move(value)) {}

    const Json::Value& get_json() const { return m_value; }

private:
    Json::Value m_value;
};

}  // namespace kel::libs::context_utils
