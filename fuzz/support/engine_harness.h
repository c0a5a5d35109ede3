#pragma once

#include "support/canned_http_client.h"
#include "support/fake_message_stream.h"
#include "support/memory_save_restore.h"

#include "context/writable_context.h"
#include "context_updater.h"
#include "events_generator.h"
#include "events_sender_impl.h"
#include "zones_index.h"

#include "core/events_loop.h"
#include "core/logger.h"

#include <boost/signals2/connection.hpp>
#include <boost/utility/string_view.hpp>

#include <map>
#include <memory>
#include <string>

namespace kel::fuzz {

// The service's own components assembled as the application assembles
// them, around a site that an HTTP client without a network serves: the
// real context updater (with its synchronizer and the library's parsers and
// views), the zones index, the events generator and the events sender, with
// the persistence kept in memory. Messages are handed to the updater's
// subscriptions as the message stream would hand them over.
//
// One process-wide logger, core and events loop serve every harness, so that
// a fuzz target can build a fresh harness for each input cheaply.
class engine_harness {
public:
    // A small site: rooms, a keep-in zone, a zone with exceptions, an
    // inactive zone and a vehicle carrying two concentric circles, with
    // tags in and out of them.
    static const std::string& small_site();
    // The process-wide loop; a fuzz target may run it.
    static libs::core::events_loop& loop();
    static libs::core::logger& logger();

    // Builds the components; nothing is loaded yet.
    explicit engine_harness(std::string site = small_site());
    ~engine_harness();
    engine_harness(const engine_harness&) = delete;
    engine_harness& operator=(const engine_harness&) = delete;

    // The start of the application: the initial load from the site, the
    // restore, then the events generator shown every zone and object. Throws
    // what the load throws for a malformed site.
    void load();
    // Hands a payload to the subscribers of `topic` ("notify", "$pos" or
    // "#pos"), then runs what the loop has ready.
    void deliver(boost::string_view topic, boost::string_view payload);
    // Aborts with a message when the persisted state differs from memory,
    // an ENTER was repeated without a LEAVE in between, or the updater's
    // multi-tiered zones are out of step with the zones they hold.
    void check_invariants() const;

    context::writable_context& context() { return m_context; }
    canned_http_client& http_client() { return m_client; }

private:
    void update_every_object();
    void on_event(bool enter, const context::trackable_object_in_zone& record);
    void drain_loop();

    canned_http_client m_client;
    fake_message_stream m_stream;
    context::writable_context m_context;
    events_sender_impl m_sender;
    memory_save_restore m_save_restore;
    boost::signals2::scoped_connection m_enter_connection;
    boost::signals2::scoped_connection m_leave_connection;
    std::unique_ptr<context_updater> m_updater;
    std::unique_ptr<zones_index> m_zones_index;
    std::unique_ptr<events_generator> m_events_generator;
    // Per "<object>-<zone>": whether the last event was an ENTER.
    std::map<std::string, bool> m_last_event_was_enter;
    std::string m_violation;
};

}  // namespace kel::fuzz
