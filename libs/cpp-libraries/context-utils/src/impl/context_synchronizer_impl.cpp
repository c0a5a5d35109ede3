#include "context_synchronizer_impl.h"

#include "objects/trackable_object_impl.h"
#include "objects/zone_impl.h"
#include "parser_utils.h"
#include "parsers/alarm_impl.h"
#include "parsers/pos_impl.h"
#include "parsers/trackable_object_association_impl.h"
#include "parsers/trackable_object_groups_impl.h"
#include "parsers/trackable_object_impl.h"
#include "parsers/zone_impl.h"

#include <core/impl/async_operation_handle_impl.h>

namespace kel::libs::context_utils {

namespace {

using notify = json_template<_json_notify_tag>;
using object = json_template<_json_object_tag>;

const Json::Value& plist(const notify& n) {
    return parser_utils::member(n.get_json(), "plist");
}

// A wrapper for the notification dispatcher that hands `cb` the typed view
// of the notification's object.
template <typename ViewImpl, typename Callback>
context_updater::callback notified(Callback cb) {
    return [cb = std::move(cb)](const notify& n) {
        ViewImpl view(plist(n), n.get_json());
        cb(view);
    };
}

// A wrapper for a walk of server objects that hands `cb` the typed view of
// each object and passes its answer on.
template <typename ViewImpl, typename Callback>
context_initializer::object_callback listed(Callback cb) {
    return [cb = std::move(cb)](const object& o) {
        ViewImpl view(o.get_json());
        return cb(view);
    };
}

template <typename ViewImpl, typename Callback>
context_updater::callback deleted(Callback cb) {
    return [cb = std::move(cb)](const notify& n) {
        ViewImpl view(plist(n), n.get_json());
        cb(view.get_uid(), core::timestamp(view.get_ts(), view.get_ms()));
    };
}

// Views over every object of the answer's array, sharing the answer.
template <typename View, typename ViewImpl>
objects::objects_range<View> range_of(const object_info& info, json_template<_json_answer_tag> answer) {
    const auto shared = std::make_shared<const json_template<_json_answer_tag>>(std::move(answer));
    typename objects::objects_range<View>::views views;
    for (const auto& element : context_initializer::objects_of(info, *shared))
        views.push_back(std::make_shared<ViewImpl>(element));
    return objects::objects_range<View>(shared, std::move(views));
}

}  // namespace

context_synchronizer::ptr context_synchronizer::create(core::http::client& http_client,
                                                       core::events_loop& events_loop,
                                                       const core::component_logger& logger) {
    return std::make_unique<context_synchronizer_impl>(http_client, events_loop, logger);
}

context_synchronizer_impl::context_synchronizer_impl(core::http::client& http_client, core::events_loop& events_loop,
                                                     const core::component_logger& logger,
                                                     std::chrono::milliseconds retry_pause)
    : m_http_client(http_client),
      m_events_loop(events_loop),
      m_logger(logger.component("context_utils")),
      m_context_initializer(m_http_client, m_events_loop, *m_logger, retry_pause) {}

boost::optional<not_json> context_synchronizer_impl::handle_notify(const std::string& message) {
    return m_context_updater.handle_notify(message);
}

void context_synchronizer_impl::initialize() {
    m_context_initializer.initialize();
}

// Positions of the plain shape are read without a document; any other
// text takes the jsoncpp path, which gives the same answer more slowly.
boost::optional<not_json> context_synchronizer_impl::handle_pos(boost::string_view message) {
    if (parsers::pos* fields = m_pos_reader.read(message)) {
        if (m_pos_callback)
            m_pos_callback(*fields);
        return boost::none;
    }
    return m_context_updater.handle_pos(message.to_string());
}

void context_synchronizer_impl::on_zone_creating(zone_callback cb) {
    m_context_updater.on_zone_creating(notified<parsers::zone_impl>(cb));
    m_context_initializer.on_zone_creating(listed<parsers::zone_impl>([cb](parsers::zone& z) {
        cb(z);
        return true;
    }));
}

void context_synchronizer_impl::on_zone_updating(zone_callback cb) {
    m_context_updater.on_zone_updating(notified<parsers::zone_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_zone_deleting(zone_deleting_callback cb) {
    m_context_updater.on_zone_deleting(deleted<parsers::zone_impl>(std::move(cb)));
}

bool context_synchronizer_impl::for_each_zone_on_server(bool_zone_callback cb) {
    return m_context_initializer.for_each_object_on_server(object_infos::zone, listed<parsers::zone_impl>(cb));
}

context_synchronizer::zones_request::ptr context_synchronizer_impl::get_zones_async() {
    return get_objects_async<objects::zone, objects::zone_impl>(object_infos::zone);
}

void context_synchronizer_impl::on_trackable_object_creating(trackable_object_callback cb) {
    m_context_updater.on_trackable_object_creating(notified<parsers::trackable_object_impl>(cb));
    m_context_initializer.on_trackable_object_creating(
        listed<parsers::trackable_object_impl>([cb](parsers::trackable_object& t) {
            cb(t);
            return true;
        }));
}

void context_synchronizer_impl::on_trackable_object_updating(trackable_object_callback cb) {
    m_context_updater.on_trackable_object_updating(notified<parsers::trackable_object_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_trackable_object_deleting(trackable_object_deleting_callback cb) {
    m_context_updater.on_trackable_object_deleting(deleted<parsers::trackable_object_impl>(std::move(cb)));
}

bool context_synchronizer_impl::for_each_trackable_object_on_server(bool_trackable_object_callback cb) {
    return m_context_initializer.for_each_object_on_server(object_infos::trackable_object,
                                                           listed<parsers::trackable_object_impl>(cb));
}

context_synchronizer::trackable_objects_request::ptr context_synchronizer_impl::get_trackable_objects_async() {
    return get_objects_async<objects::trackable_object, objects::trackable_object_impl>(
        object_infos::trackable_object);
}

bool context_synchronizer_impl::for_each_alarm_on_server(bool_alarm_callback cb) {
    return m_context_initializer.for_each_object_on_server(object_infos::alarm, listed<parsers::alarm_impl>(cb));
}

void context_synchronizer_impl::on_pos(pos_callback cb) {
    m_pos_callback = cb;
    m_context_updater.on_pos([cb = std::move(cb)](const notify& n) {
        parsers::pos_impl view(n.get_json());
        cb(view);
    });
}

void context_synchronizer_impl::on_trackable_object_association_creating(trackable_object_association_callback cb) {
    m_context_updater.on_trackable_object_association_creating(
        notified<parsers::trackable_object_association_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_trackable_object_association_updating(trackable_object_association_callback cb) {
    m_context_updater.on_trackable_object_association_updating(
        notified<parsers::trackable_object_association_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_trackable_object_groups_updating(trackable_object_groups_callback cb) {
    m_context_updater.on_trackable_object_groups_updating(
        notified<parsers::trackable_object_groups_impl>(std::move(cb)));
}

template <typename View, typename ViewImpl>
typename core::async_operation_handle<boost::optional<objects::objects_range<View>>>::ptr
context_synchronizer_impl::get_objects_async(const object_info& info) {
    using result = boost::optional<objects::objects_range<View>>;
    using handle = core::async_operation_handle_impl<result>;
    // The HTTP request lives in the start function, and so as long as the
    // handle: dropping the handle drops the request and its answer.
    auto request = std::make_shared<core::http::client::handle_ptr>();
    auto h = handle::create(m_events_loop, [this, &info, request](std::weak_ptr<handle> weak) {
        *request = m_context_initializer.get_objects_async(
            info, [&info, weak](boost::optional<json_template<_json_answer_tag>> answer) {
                const auto self = weak.lock();
                if (!self)
                    return;
                self->return_result(answer ? result(range_of<View, ViewImpl>(info, std::move(*answer)))
                                           : result(boost::none));
            });
    });
    h->start();
    return h;
}

}  // namespace kel::libs::context_utils
