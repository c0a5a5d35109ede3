#include "context_initializer.h"

#include "parser_utils.h"

#include <core/exception.h>
#include <core/json.h>

#include <algorithm>
#include <thread>

namespace kel::libs::context_utils {

namespace {

// The retry pause is slept in slices, so that a stop of the loop (a signal)
// ends the wait soon rather than after the whole pause.
constexpr std::chrono::milliseconds pause_slice(100);

std::string code_text(const core::http::result& r) {
    return r.status_code() ? std::to_string(*r.status_code()) : std::string("none");
}

}  // namespace

context_initializer::context_initializer(core::http::client& http_client, core::events_loop& events_loop,
                                         const core::component_logger& logger,
                                         std::chrono::milliseconds retry_pause)
    : m_http_client(http_client), m_events_loop(events_loop), m_logger(logger), m_retry_pause(retry_pause) {}

json_template<_json_answer_tag> context_initializer::perform_get_request(const std::string& path) const {
    for (;;) {
        if (m_events_loop.is_stopped())
            KEL_THROW("Interrupted");
        const auto r = m_http_client.perform_request(core::http::method::get, path);
        if (r.data())
            return json_template<_json_answer_tag>(core::json::parse(*r.data(), KEL_SOURCE_LOCATION()));
        log_failure(r, path);
        pause();
    }
}

const Json::Value& context_initializer::objects_of(const object_info& info,
                                                   const json_template<_json_answer_tag>& answer) {
    const Json::Value& objects = parser_utils::member(answer.get_json(), info.m_rest_json_name);
    if (!objects.isArray())
        KEL_THROW("\"" + info.m_rest_json_name + "\" is not an array!");
    return objects;
}

bool context_initializer::for_each_object(const object_info& info, const json_template<_json_answer_tag>& answer,
                                          const object_callback& callback) {
    for (const auto& object : objects_of(info, answer)) {
        if (!callback(json_template<_json_object_tag>(object)))
            return false;
    }
    return true;
}

bool context_initializer::for_each_object_on_server(const object_info& info, const object_callback& callback) const {
    return for_each_object(info, perform_get_request(info.m_rest_endpoint), callback);
}

core::http::client::handle_ptr context_initializer::get_objects_async(const object_info& info,
                                                                      answer_callback callback) const {
    return m_http_client.perform_async_request(
        core::http::method::get, info.m_rest_endpoint,
        [this, path = info.m_rest_endpoint, callback = std::move(callback)](core::http::result r) {
            if (!r.data()) {
                log_failure(r, path);
                callback(boost::none);
                return;
            }
            callback(json_template<_json_answer_tag>(core::json::parse(*r.data(), KEL_SOURCE_LOCATION())));
        });
}

void context_initializer::initialize() const {
    load(object_infos::trackable_object, m_trackable_object_creating_callback);
    load(object_infos::zone, m_zone_creating_callback);
    load(object_infos::sublocation, m_sublocation_creating_callback);
    load(object_infos::node, m_node_creating_callback);
}

void context_initializer::load(const object_info& info, const object_callback& callback) const {
    const auto answer = perform_get_request(info.m_rest_endpoint);
    if (callback)
        for_each_object(info, answer, callback);
}

void context_initializer::log_failure(const core::http::result& r, const std::string& path) const {
    // The body may be as large as the server cares to make it.
    m_logger.error("Request failed with code: %1%, addr: %2%, response %3%") % code_text(r) % path %
        core::log_excerpt(r.error().value_or(""));
}

void context_initializer::pause() const {
    const auto until = std::chrono::steady_clock::now() + m_retry_pause;
    for (auto now = std::chrono::steady_clock::now(); now < until && !m_events_loop.is_stopped();
         now = std::chrono::steady_clock::now())
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause_slice, until - now));
}

}  // namespace kel::libs::context_utils
