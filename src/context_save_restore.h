#pragma once

#include "context/trackable_object_in_zone.h"
#include "context/zone.h"

#include <boost/optional.hpp>
#include <boost/signals2/connection.hpp>
#include <boost/signals2/dummy_mutex.hpp>
#include <boost/signals2/signal.hpp>
#include <boost/signals2/signal_type.hpp>

#include <memory>

namespace kel {

// Keeps the state of every trackable object in zone that carries state, so
// that a restart neither repeats an enter event nor forgets an owed leave.
// Every operation may throw kel::libs::core::exception (Redis and conversion
// errors); nothing is caught here. Used from the events loop thread only.
class context_save_restore {
public:
    using ptr = std::unique_ptr<context_save_restore>;
    // Emitted at every save, before the store is touched. Everything runs on
    // the events loop thread, so the signal needs no lock of its own; it is
    // raised for every record the engine changes.
    using save_signal = boost::signals2::signal_type<
        void(const context::trackable_object_in_zone&, boost::optional<const context::zone&>),
        boost::signals2::keywords::mutex_type<boost::signals2::dummy_mutex>>::type;
    using slot_type = save_signal::slot_type;
    using connection = boost::signals2::connection;

    virtual ~context_save_restore() = default;

    // Once at start, after the context is loaded: brings the stored records
    // back into the context, dropping those whose zone or object is gone.
    virtual void restore() = 0;
    // When the record's zone or trackable object no longer exists: sends the
    // leave event still owed and deletes the record from the store and from
    // the context. The caller's reference is then invalid.
    virtual void check_event(const context::trackable_object_in_zone& record) = 0;
    // Writes the record, or deletes it when none of its four flags is set.
    virtual void save(const context::trackable_object_in_zone& record,
                      boost::optional<const context::zone&> zone) = 0;
    virtual connection do_on_save(const slot_type& slot) = 0;

    // Saves between begin_batch() and end_batch() may reach the store
    // together, in order, instead of one round trip each. end_batch() waits
    // for all of them and throws the first failure; cancel_batch() waits
    // too but throws nothing, for a caller already leaving by an exception.
    // Batches do not nest. Without a batch, a save is done when it returns.
    virtual void begin_batch() {}
    virtual void end_batch() {}
    virtual void cancel_batch() noexcept {}
};

}  // namespace kel
