#pragma once

#include "support/canned_http_client.h"
#include "support/context_snapshot.h"
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

#include <cstdint>
#include <map>
#include <set>
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
// a fuzz target can build a fresh harness for each input. Building and
// loading costs far more than most inputs do, so a harness can also keep its
// loaded state as its start and go back to it (keep_as_start, reset).
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
    // multi-tiered zones are out of step with the zones they hold. Checks
    // only when something changed since it last did: the stores, the
    // records, the persisted state or the events.
    void check_invariants();

    // Takes the state as it is now as the start that reset() goes back to.
    void keep_as_start();
    // Only after keep_as_start(). Puts the context and the persisted state
    // back as kept, then starts the zones index and the events generator
    // anew and shows them every zone and object, as a service that restarts
    // with that state stored does. Every reset leaves the same state; when
    // no store changed, nothing was saved and no event sent since the last
    // one, it is that state still and the reset does nothing.
    //
    // The updater keeps its own record of the uids in use, which only its
    // handlers change: zones and trackable objects that came since the
    // start leave, and those that went come back, through "notify"
    // messages first (the site's own objects for those). False when that
    // did not bring back the start's zones and objects; the harness is then
    // of no further use.
    bool reset();
    // What the messages since the last load or reset did: the events in
    // order, then the records, the stored state, the objects' positions
    // and the zones' carriers and sublocations. Equal for equal runs.
    std::string outcome() const;

    context::writable_context& context() { return m_context; }
    canned_http_client& http_client() { return m_client; }

private:
    // Counts every change of the zones, trackable objects and multi-tiered
    // zones, and notes their uids; tells apart those that come and go.
    class change_watch final : public libs::context_utils::objects_repository<context::zone>::observer,
                               public libs::context_utils::objects_repository<context::trackable_object>::observer,
                               public libs::context_utils::objects_repository<context::multi_tiered_zone>::observer {
    public:
        change_watch(std::uint64_t& changes, bool& identities_changed, context_snapshot::changes& changed)
            : m_changes(changes), m_identities_changed(identities_changed), m_changed(changed) {}
        void after_creating(const context::zone& z, libs::core::timestamp) override {
            came_or_went(m_changed.zones, z);
        }
        void after_updating(const context::zone& z, libs::core::timestamp) override { note(m_changed.zones, z); }
        void before_deleting(const context::zone& z, libs::core::timestamp) override {
            came_or_went(m_changed.zones, z);
        }
        void after_creating(const context::trackable_object& o, libs::core::timestamp) override {
            came_or_went(m_changed.trackable_objects, o);
        }
        void after_updating(const context::trackable_object& o, libs::core::timestamp) override {
            note(m_changed.trackable_objects, o);
        }
        void before_deleting(const context::trackable_object& o, libs::core::timestamp) override {
            came_or_went(m_changed.trackable_objects, o);
        }
        void after_creating(const context::multi_tiered_zone& m, libs::core::timestamp) override {
            note(m_changed.multi_tiered_zones, m);
        }
        void after_updating(const context::multi_tiered_zone& m, libs::core::timestamp) override {
            note(m_changed.multi_tiered_zones, m);
        }
        void before_deleting(const context::multi_tiered_zone& m, libs::core::timestamp) override {
            note(m_changed.multi_tiered_zones, m);
        }

    private:
        template <typename T>
        void note(std::set<std::string>& uids, const T& object) {
            ++m_changes;
            uids.insert(object.get_uid());
        }
        template <typename T>
        void came_or_went(std::set<std::string>& uids, const T& object) {
            note(uids, object);
            m_identities_changed = true;
        }

        std::uint64_t& m_changes;
        bool& m_identities_changed;
        context_snapshot::changes& m_changed;
    };

    void start_engine();
    // Zones and trackable objects as the start had them, through the
    // updater; false when they differ still.
    bool bring_back_identities();
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
    // One line per event since the last load or reset.
    std::string m_events;
    // Counts what the index, the generator, the persistence and the
    // invariants learn from: the repositories' changes, records erased,
    // saves and events. Unchanged since the last reset (or check), the
    // state is still the one that the reset left (or the check passed).
    std::uint64_t m_changes = 1;
    std::uint64_t m_changes_at_reset = 0;
    std::uint64_t m_changes_at_check = 0;
    bool m_identities_changed = false;
    // What reset() puts back.
    context_snapshot::changes m_changed;
    change_watch m_change_watch{m_changes, m_identities_changed, m_changed};
    libs::context_utils::objects_repository<context::zone>::subscription_handle m_zones_watch;
    libs::context_utils::objects_repository<context::trackable_object>::subscription_handle m_objects_watch;
    libs::context_utils::objects_repository<context::multi_tiered_zone>::subscription_handle m_groups_watch;
    boost::signals2::scoped_connection m_save_watch;
    boost::signals2::scoped_connection m_records_watch;
    // Set by keep_as_start().
    std::unique_ptr<context_snapshot> m_start;
    // Per uid, the "notify" message that creates the zone (or trackable
    // object) as the site has it.
    std::map<std::string, std::string> m_zone_creations;
    std::map<std::string, std::string> m_object_creations;
    std::map<std::string, bool> m_start_last_events;
};

}  // namespace kel::fuzz
