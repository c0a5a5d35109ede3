#include "context_updater.h"

#include "context_utils/not_json.h"

#include <core/exception.h>
#include <core/json.h>

#include <algorithm>
#include <locale>

namespace kel::libs::context_utils {

namespace {

enum action_index { creating = 0, updating = 1, deleting = 2 };

const std::string groups_name = "TRACKABLE_OBJECT_GROUPS";
const std::string association_name = "TRACKABLE_OBJECT_ASSOCIATION";

not_json parse_error(const std::string& reason) {
    return not_json("parse_error: " + reason, KEL_SOURCE_LOCATION());
}

// Throws when the member is not a string (or the envelope not an object).
std::string name_of(const Json::Value& envelope, const char* key) {
    const Json::Value* value =
        envelope.isObject() ? envelope.find(key, key + std::char_traits<char>::length(key)) : nullptr;
    if (value == nullptr || !value->isString())
        KEL_THROW(std::string("\"") + key + "\" is not a string!");
    return value->asString();
}

// Names are compared case-insensitively, character by character with the
// default locale.
std::string upper(std::string text) {
    const std::locale locale;
    std::transform(text.begin(), text.end(), text.begin(), [&](char c) { return std::toupper(c, locale); });
    return text;
}

std::string lower(std::string text) {
    const std::locale locale;
    std::transform(text.begin(), text.end(), text.begin(), [&](char c) { return std::tolower(c, locale); });
    return text;
}

int action_of(const std::string& action) {
    if (action == "created")
        return creating;
    if (action == "updated")
        return updating;
    if (action == "deleted")
        return deleting;
    return -1;
}

}  // namespace

boost::optional<not_json> context_updater::handle_notify(const std::string& message) {
    auto parsed = core::json::try_parse(message);
    if (!parsed.ok)
        return parse_error(parsed.error);
    Json::Value& envelope = parsed.result;
    const std::string object = upper(name_of(envelope, "object"));
    const std::string action = lower(name_of(envelope, "action"));
    callback* selected = select(object, action);
    if (selected != nullptr && *selected)
        (*selected)(json_template<_json_notify_tag>(std::move(envelope)));
    return boost::none;
}

boost::optional<not_json> context_updater::handle_pos(const std::string& message) {
    auto parsed = core::json::try_parse(message);
    if (!parsed.ok)
        return parse_error(parsed.error);
    if (m_pos_callback)
        m_pos_callback(json_template<_json_notify_tag>(std::move(parsed.result)));
    return boost::none;
}

void context_updater::on_creating(const object_info& info, callback cb) {
    if (auto* callbacks = callbacks_of(info.m_type))
        *(*callbacks)[creating] = std::move(cb);
}

void context_updater::on_updating(const object_info& info, callback cb) {
    if (auto* callbacks = callbacks_of(info.m_type))
        *(*callbacks)[updating] = std::move(cb);
}

void context_updater::on_deleting(const object_info& info, callback cb) {
    if (auto* callbacks = callbacks_of(info.m_type))
        *(*callbacks)[deleting] = std::move(cb);
}

context_updater::callback* context_updater::select(const std::string& object, const std::string& action) {
    const int index = action_of(action);
    for (auto& k : m_kinds) {
        if (object == k.m_info.m_notify_json_name)
            return index < 0 ? nullptr : k.m_callbacks[static_cast<std::size_t>(index)];
    }
    if (object == groups_name)
        return index == updating ? &m_trackable_object_groups_updating_callback : nullptr;
    if (object == association_name) {
        if (index == creating)
            return &m_trackable_object_association_creating_callback;
        if (index == updating)
            return &m_trackable_object_association_updating_callback;
    }
    return nullptr;
}

context_updater::kind_callbacks* context_updater::callbacks_of(object_type type) {
    for (auto& k : m_kinds) {
        if (k.m_info.m_type == type)
            return &k.m_callbacks;
    }
    return nullptr;
}

}  // namespace kel::libs::context_utils
