#pragma once

#include "object_infos.h"

#include "context_utils/json_template.h"

#include <core/events_loop.h>
#include <core/http/client.h>
#include <core/logger.h>

#include <boost/optional.hpp>

#include <chrono>
#include <functional>
#include <string>

namespace kel::libs::context_utils {

// Reads the server's lists of objects over HTTP: the blocking initial load
// at start-up, walks of one list, and non-blocking list requests whose
// answers arrive on the events loop. The client, the loop and the logger
// must outlive it; so must it every request it started.
class context_initializer {
public:
    // Return false to stop a walk.
    using object_callback = std::function<bool(const json_template<_json_object_tag>&)>;
    using answer_callback = std::function<void(boost::optional<json_template<_json_answer_tag>>)>;

    // `retry_pause` is the wait between failed attempts of a blocking
    // request.
    context_initializer(core::http::client& http_client, core::events_loop& events_loop,
                        const core::component_logger& logger,
                        std::chrono::milliseconds retry_pause = std::chrono::seconds(5));

    // Blocking GET, retried after each failure (logged) until the server
    // answers with a 2xx status. Throws kel::libs::core::exception
    // "Interrupted" once the events loop is stopped, and "parse error: ..."
    // for an answer that is not JSON.
    json_template<_json_answer_tag> perform_get_request(const std::string& path) const;

    // The kind's array in the answer. Throws kel::libs::core::exception
    // `"<array name>" is not an array!` when the answer has no such array.
    static const Json::Value& objects_of(const object_info& info, const json_template<_json_answer_tag>& answer);
    // Calls `callback` with each object of the kind's array in the answer
    // until it returns false; returns whether every object was visited.
    // Throws like objects_of.
    static bool for_each_object(const object_info& info, const json_template<_json_answer_tag>& answer,
                                const object_callback& callback);
    bool for_each_object_on_server(const object_info& info, const object_callback& callback) const;

    // Non-blocking GET of the kind's list. The callback runs on the events
    // loop with the answer, or with none (the failure logged) when the
    // server did not answer with a 2xx status; an answer that is not JSON
    // throws from there. The caller keeps the returned handle until then.
    core::http::client::handle_ptr get_objects_async(const object_info& info, answer_callback callback) const;

    // Loads trackable objects, zones, sublocations and nodes, in this order,
    // handing every object to the kind's creating callback.
    void initialize() const;

    void on_zone_creating(object_callback cb) { m_zone_creating_callback = std::move(cb); }
    void on_trackable_object_creating(object_callback cb) { m_trackable_object_creating_callback = std::move(cb); }
    void on_sublocation_creating(object_callback cb) { m_sublocation_creating_callback = std::move(cb); }
    void on_node_creating(object_callback cb) { m_node_creating_callback = std::move(cb); }

private:
    void log_failure(const core::http::result& r, const std::string& path) const;
    void pause() const;
    void load(const object_info& info, const object_callback& callback) const;

    core::http::client& m_http_client;
    core::events_loop& m_events_loop;
    const core::component_logger& m_logger;
    const std::chrono::milliseconds m_retry_pause;
    object_callback m_zone_creating_callback;
    object_callback m_trackable_object_creating_callback;
    object_callback m_sublocation_creating_callback;
    object_callback m_node_creating_callback;
};

}  // namespace kel::libs::context_utils
