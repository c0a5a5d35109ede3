#pragma once

#include "context_utils/not_json.h"
#include "context_utils/objects/objects_range.h"
#include "context_utils/objects/trackable_object.h"
#include "context_utils/objects/zone.h"
#include "context_utils/parsers/alarm.h"
#include "context_utils/parsers/pos.h"
#include "context_utils/parsers/trackable_object.h"
#include "context_utils/parsers/trackable_object_association.h"
#include "context_utils/parsers/trackable_object_groups.h"
#include "context_utils/parsers/zone.h"

#include <core/async_operation_handle.h>
#include <core/events_loop.h>
#include <core/http/client.h>
#include <core/logger.h>
#include <core/timestamp.h>

#include <boost/optional.hpp>

#include <functional>
#include <memory>
#include <string>

namespace kel::libs::context_utils {

// The one entry through which a service receives the site's objects: the
// lists of the HTTP server (initial load, walks, asynchronous lists) and the
// notifications and positions of the message stream. A service registers one
// callback per kind and event, before initialize(); each gets a typed view
// of the object, the same whether it came with the initial load or with a
// notification. A view lives only during the callback.
//
// Everything runs on the events loop thread. Exceptions of the views and of
// the callbacks propagate to whoever called in: handle_notify, handle_pos,
// initialize, or the events loop for asynchronous answers. The client, the
// loop and the logger must outlive the synchronizer, and it must outlive the
// request handles it returned.
class context_synchronizer {
public:
    using ptr = std::unique_ptr<context_synchronizer>;

    using zone_callback = std::function<void(parsers::zone&)>;
    using trackable_object_callback = std::function<void(parsers::trackable_object&)>;
    using zone_deleting_callback = std::function<void(const std::string& uid, core::timestamp)>;
    using trackable_object_deleting_callback = std::function<void(const std::string& uid, core::timestamp)>;
    // Return false to stop a walk.
    using bool_zone_callback = std::function<bool(parsers::zone&)>;
    using bool_trackable_object_callback = std::function<bool(parsers::trackable_object&)>;
    using bool_alarm_callback = std::function<bool(parsers::alarm&)>;
    using pos_callback = std::function<void(parsers::pos&)>;
    using trackable_object_association_callback = std::function<void(parsers::trackable_object_association&)>;
    using trackable_object_groups_callback = std::function<void(parsers::trackable_object_groups&)>;

    // The objects of a list request, or none when the request failed.
    using zones_result = boost::optional<objects::objects_range<objects::zone>>;
    using trackable_objects_result = boost::optional<objects::objects_range<objects::trackable_object>>;
    using zones_request = core::async_operation_handle<zones_result>;
    using trackable_objects_request = core::async_operation_handle<trackable_objects_result>;

    // The synchronizer logs as the component "context_utils" of `logger`.
    static ptr create(core::http::client& http_client, core::events_loop& events_loop,
                      const core::component_logger& logger);

    virtual ~context_synchronizer() = default;

    // A "notify" or "$pos" payload. A text that is not JSON is returned as a
    // not_json rather than thrown: a flood of garbage on the stream must not
    // cost an unwinding per message. A notification whose "object" or
    // "action" is not a string throws kel::libs::core::exception.
    virtual boost::optional<not_json> handle_notify(const std::string& message) = 0;
    virtual boost::optional<not_json> handle_pos(boost::string_view message) = 0;
    // Blocking initial load; see context_initializer::initialize.
    virtual void initialize() = 0;

    // Creating callbacks serve both notifications and the initial load.
    virtual void on_zone_creating(zone_callback cb) = 0;
    virtual void on_zone_updating(zone_callback cb) = 0;
    virtual void on_zone_deleting(zone_deleting_callback cb) = 0;
    // Blocking walk of the server's zones; returns false when stopped.
    virtual bool for_each_zone_on_server(bool_zone_callback cb) = 0;
    // The request starts at once; set its callback before the loop runs on.
    virtual zones_request::ptr get_zones_async() = 0;

    virtual void on_trackable_object_creating(trackable_object_callback cb) = 0;
    virtual void on_trackable_object_updating(trackable_object_callback cb) = 0;
    virtual void on_trackable_object_deleting(trackable_object_deleting_callback cb) = 0;
    virtual bool for_each_trackable_object_on_server(bool_trackable_object_callback cb) = 0;
    virtual trackable_objects_request::ptr get_trackable_objects_async() = 0;

    virtual bool for_each_alarm_on_server(bool_alarm_callback cb) = 0;

    virtual void on_pos(pos_callback cb) = 0;
    virtual void on_trackable_object_association_creating(trackable_object_association_callback cb) = 0;
    virtual void on_trackable_object_association_updating(trackable_object_association_callback cb) = 0;
    virtual void on_trackable_object_groups_updating(trackable_object_groups_callback cb) = 0;
};

}  // namespace kel::libs::context_utils
