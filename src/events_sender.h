#pragma once

#include "context/trackable_object.h"
#include "context/trackable_object_in_zone.h"

#include "core/timestamp.h"

#include <boost/optional.hpp>
#include <boost/signals2/connection.hpp>
#include <boost/signals2/dummy_mutex.hpp>
#include <boost/signals2/signal.hpp>
#include <boost/signals2/signal_type.hpp>

#include <memory>

namespace kel {

// One batch of ENTER and LEAVE events, collected during one decision pass of
// the events generator and transmitted when the queue is destroyed. The
// record and object references are used only during each call.
class events_queue {
public:
    using ptr = std::unique_ptr<events_queue>;

    virtual ~events_queue() = default;

    // `object` is the trackable object when it still exists; its position
    // (or else last position) goes into the message.
    virtual void send_enter(const context::trackable_object_in_zone& record,
                            boost::optional<const context::trackable_object&> object,
                            libs::core::timestamp ts) = 0;
    virtual void send_leave(const context::trackable_object_in_zone& record,
                            boost::optional<const context::trackable_object&> object,
                            libs::core::timestamp ts) = 0;
};

// Raised when an event is decided, whether or not it will be transmitted.
// Raised and connected on the events loop thread only, hence no lock.
using event_signal =
    boost::signals2::signal_type<void(const context::trackable_object_in_zone&,
                                      boost::optional<const context::trackable_object&>, libs::core::timestamp),
                                 boost::signals2::keywords::mutex_type<boost::signals2::dummy_mutex>>::type;

// Hands out events queues and tells subscribers of every event at the moment
// it is decided. The sender must outlive its queues and every connection to
// its signals. Used from the events loop thread only.
class events_sender {
public:
    using ptr = std::unique_ptr<events_sender>;
    using slot_type = event_signal::slot_type;
    using connection = boost::signals2::connection;

    virtual ~events_sender() = default;

    virtual events_queue::ptr create_queue() = 0;
    virtual connection do_on_enter_event(const slot_type& slot) = 0;
    virtual connection do_on_leave_event(const slot_type& slot) = 0;
};

}  // namespace kel
