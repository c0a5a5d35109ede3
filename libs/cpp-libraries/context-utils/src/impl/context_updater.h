#pragma once

#include "object_infos.h"

#include "context_utils/json_template.h"
#include "context_utils/not_json.h"

#include <boost/optional.hpp>

#include <array>
#include <functional>
#include <string>

namespace kel::libs::context_utils {

// Dispatches the notifications and position messages of the message stream
// to the callback registered for the object kind and action. Everything
// runs on the events loop thread; each callback gets the whole message and
// lives as long as the dispatcher. Registering again replaces a callback.
class context_updater {
public:
    using callback = std::function<void(const json_template<_json_notify_tag>&)>;

    context_updater() = default;
    // It refers to its own members.
    context_updater(const context_updater&) = delete;
    context_updater& operator=(const context_updater&) = delete;

    // A text that is not JSON comes back as a not_json ("parse_error: ...")
    // rather than thrown: a flood of garbage on the stream must not cost an
    // unwinding per message. An "object" or "action" that is not a string
    // throws kel::libs::core::exception. An unknown object kind or action,
    // or one without a registered callback, is ignored.
    boost::optional<not_json> handle_notify(const std::string& message);
    // Returns like handle_notify for a text that is not JSON; the fields are
    // checked only when the callback reads them.
    boost::optional<not_json> handle_pos(const std::string& message);

    void on_zone_creating(callback cb) { m_zone_creating_callback = std::move(cb); }
    void on_zone_updating(callback cb) { m_zone_updating_callback = std::move(cb); }
    void on_zone_deleting(callback cb) { m_zone_deleting_callback = std::move(cb); }
    void on_trackable_object_creating(callback cb) { m_trackable_object_creating_callback = std::move(cb); }
    void on_trackable_object_updating(callback cb) { m_trackable_object_updating_callback = std::move(cb); }
    void on_trackable_object_deleting(callback cb) { m_trackable_object_deleting_callback = std::move(cb); }
    void on_sublocation_creating(callback cb) { m_sublocation_creating_callback = std::move(cb); }
    void on_sublocation_updating(callback cb) { m_sublocation_updating_callback = std::move(cb); }
    void on_sublocation_deleting(callback cb) { m_sublocation_deleting_callback = std::move(cb); }
    void on_win_anchor_creating(callback cb) { m_win_anchor_creating_callback = std::move(cb); }
    void on_win_anchor_updating(callback cb) { m_win_anchor_updating_callback = std::move(cb); }
    void on_win_anchor_deleting(callback cb) { m_win_anchor_deleting_callback = std::move(cb); }
    void on_node_creating(callback cb) { m_node_creating_callback = std::move(cb); }
    void on_node_updating(callback cb) { m_node_updating_callback = std::move(cb); }
    void on_node_deleting(callback cb) { m_node_deleting_callback = std::move(cb); }
    void on_pos(callback cb) { m_pos_callback = std::move(cb); }
    void on_trackable_object_association_creating(callback cb) {
        m_trackable_object_association_creating_callback = std::move(cb);
    }
    void on_trackable_object_association_updating(callback cb) {
        m_trackable_object_association_updating_callback = std::move(cb);
    }
    void on_trackable_object_groups_updating(callback cb) {
        m_trackable_object_groups_updating_callback = std::move(cb);
    }

    // The same, with the kind chosen by its catalogue entry; a kind without
    // notifications has nothing to register.
    void on_creating(const object_info& info, callback cb);
    void on_updating(const object_info& info, callback cb);
    void on_deleting(const object_info& info, callback cb);

private:
    // The creating, updating and deleting callbacks of one kind.
    using kind_callbacks = std::array<callback*, 3>;

    callback* select(const std::string& object, const std::string& action);
    kind_callbacks* callbacks_of(object_type type);

    callback m_zone_creating_callback;
    callback m_zone_updating_callback;
    callback m_zone_deleting_callback;
    callback m_trackable_object_creating_callback;
    callback m_trackable_object_updating_callback;
    callback m_trackable_object_deleting_callback;
    callback m_sublocation_creating_callback;
    callback m_sublocation_updating_callback;
    callback m_sublocation_deleting_callback;
    callback m_win_anchor_creating_callback;
    callback m_win_anchor_updating_callback;
    callback m_win_anchor_deleting_callback;
    callback m_node_creating_callback;
    callback m_node_updating_callback;
    callback m_node_deleting_callback;
    callback m_pos_callback;
    callback m_trackable_object_association_creating_callback;
    callback m_trackable_object_association_updating_callback;
    callback m_trackable_object_groups_updating_callback;

    // Kinds in the order their names are compared, each with its callbacks.
    struct kind {
        const object_info& m_info;
        kind_callbacks m_callbacks;
    };
    std::array<kind, 5> m_kinds{{
        {object_infos::zone, {&m_zone_creating_callback, &m_zone_updating_callback, &m_zone_deleting_callback}},
        {object_infos::trackable_object,
         {&m_trackable_object_creating_callback, &m_trackable_object_updating_callback,
          &m_trackable_object_deleting_callback}},
        {object_infos::sublocation,
         {&m_sublocation_creating_callback, &m_sublocation_updating_callback, &m_sublocation_deleting_callback}},
        {object_infos::win_anchor,
         {&m_win_anchor_creating_callback, &m_win_anchor_updating_callback, &m_win_anchor_deleting_callback}},
        {object_infos::node, {&m_node_creating_callback, &m_node_updating_callback, &m_node_deleting_callback}},
    }};
};

}  // namespace kel::libs::context_utils
