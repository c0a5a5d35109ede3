#pragma once

#include "context/writable_context.h"
#include "context_save_restore.h"
#include "globals.h"
#include "metrics.h"
#include "sliced_task.h"

#include "core/events_loop.h"
#include "core/http/client.h"
#include "core/logger.h"
#include "core/message_stream.h"
#include "core/timer.h"
#include "core/timestamp.h"

#include <context_utils/context_synchronizer.h>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace kel {

// Drives the context: applies the server's objects at start, the change
// notifications ("notify"), the positions ("$pos" and the older "#pos") and
// a periodic re-synchronization with the server to the zones, trackable
// objects and multi-tiered zones of the writable context. Every change goes
// through the repositories, so their observers (the debug mirror, the events
// generator) see it when a writable handle is released; the updater itself
// decides no events.
//
// Invariants it keeps:
// - every zone carried by a trackable object is a member of the
//   multi-tiered zone keyed by that object's uid, and a multi-tiered zone
//   exists only while it has a member;
// - a carried zone lies in its carrier's sublocation: a position moves the
//   carrier's sublocation onto its zones before the carrier's own observers
//   run;
// - no two zones, and no two trackable objects, have uids that decode to
//   the same bytes (parse_uid): the records of trackable objects in zones
//   are keyed by those bytes, so two such zones (or objects) would share
//   their records. A new one whose uid decodes like a stored one's is
//   refused and logged.
//
// Input from outside never stops the service: whatever a message handler
// throws is logged, and the next message is handled as usual. Positions of
// unknown objects and "#pos" texts that are not JSON are dropped without a
// log line, as they are routine on a busy site.
//
// Everything runs on the events loop thread. The context, the HTTP client,
// the message stream, the logger, the loop and the persistence must outlive
// the updater. It registers itself in callbacks, so it is neither copyable
// nor movable; destroying it ends its subscriptions, its timer and any
// re-synchronization in flight.
class context_updater {
public:
    static constexpr std::chrono::seconds default_sync_period{600};
    // The loop time a re-synchronization takes before positions waiting
    // behind it are handled.
    static constexpr std::chrono::microseconds resync_slice{500};

    // Subscribes to "notify", "$pos" and "#pos" on `stream` at once; messages
    // are applied only when the loop runs, which it should not before
    // initialize(). `sync_period` is the interval of the re-synchronization.
    context_updater(context::writable_context& context, libs::core::http::client& http_client,
                    libs::core::message_stream& stream, libs::core::logger& logger, libs::core::events_loop& loop,
                    context_save_restore& save_restore, std::chrono::nanoseconds sync_period = default_sync_period);
    context_updater(const context_updater&) = delete;
    context_updater& operator=(const context_updater&) = delete;

    // Call once, before the loop runs: loads every zone and trackable object
    // from the server (blocking, retried until the server answers or the
    // loop is stopped), marks the enter events of the objects the server
    // reports inside zones as generated, and starts the re-synchronization.
    // Throws what the load throws (a malformed answer, "Interrupted").
    void initialize();

    // Each slice of a re-synchronization's lists is then one burst of
    // `observer` (nullptr for none). It must outlive the updater, or be
    // replaced by nullptr first.
    void set_burst_observer(libs::core::message_stream::burst_observer* observer) {
        m_resync.set_burst_observer(observer);
    }

private:
    using zones_result = libs::context_utils::context_synchronizer::zones_result;
    using trackable_objects_result = libs::context_utils::context_synchronizer::trackable_objects_result;
    using zones_request = libs::context_utils::context_synchronizer::zones_request;
    using trackable_objects_request = libs::context_utils::context_synchronizer::trackable_objects_request;
    using server_zone = libs::context_utils::objects::zone;
    using server_trackable_object = libs::context_utils::objects::trackable_object;
    template <typename View>
    using objects_range = libs::context_utils::objects::objects_range<View>;
    using notified_zone = libs::context_utils::parsers::zone;
    using notified_trackable_object = libs::context_utils::parsers::trackable_object;
    using timestamp = libs::core::timestamp;
    using uids = std::set<std::string>;
    using keys = std::set<context::trackable_object_in_zone_uid>;
    using points = boost::optional<std::vector<context::point>>;

    void register_zones_callbacks();
    void register_trackable_objects_callbacks();
    void register_trackable_objects_groups_callbacks();
    void register_trackable_objects_associations_callbacks();
    void register_pos_callback();

    // Messages of the stream.
    void on_notify_message(boost::string_view message);
    void on_pos_message(boost::string_view message);
    // Runs the synchronizer's handling of one message of `topic`; the
    // not_json it returns and what it throws are logged and counted as a
    // refused message.
    void handle_message(metrics::topic topic,
                        const std::function<boost::optional<libs::context_utils::not_json>()>& handle);

    // Positions.
    void on_new_pos(libs::context_utils::parsers::pos& pos);
    void on_old_pos(boost::string_view message);
    // False when the trackable object is unknown.
    bool on_pos(timestamp ts, boost::string_view trackable_uid, boost::optional<boost::string_view> sublocation_uid,
                int x, int y, int z);
    void propagate_sublocation(const context::trackable_object& carrier, boost::string_view sublocation_uid,
                               timestamp ts);

    // Zone notifications.
    void on_zone_created(notified_zone& z);
    void create_zone(notified_zone& z);
    void on_zone_updated(notified_zone& z);
    void apply_zone_update(context::zone& zone, notified_zone& z, std::set<std::string> exceptions,
                           std::set<std::string> exceptions_groups, points zone_points);
    bool zone_was_changed(notified_zone& z, const context::zone& existing, const std::set<std::string>& exceptions,
                          const std::set<std::string>& exceptions_groups, const points& zone_points) const;
    void delete_zone(const std::string& uid, timestamp ts);

    // Carried zones and their multi-tiered zones.
    boost::optional<std::string> carried_zone_sublocation(const std::string& carrier,
                                                          boost::optional<std::string> own_sublocation) const;
    void change_carrier(const std::string& zone_uid, const boost::optional<std::string>& previous,
                        const boost::optional<std::string>& carrier, timestamp ts);
    void join_multi_tiered_zone(const std::string& carrier, const std::string& zone_uid, timestamp ts);
    void leave_multi_tiered_zone(const std::string& carrier, const std::string& zone_uid, timestamp ts);
    boost::optional<std::string> stored_carrier(const std::string& zone_uid) const;

    // Trackable-object, group and association notifications.
    void on_trackable_object_created(notified_trackable_object& t);
    void create_trackable_object(notified_trackable_object& t);
    void on_trackable_object_updated(notified_trackable_object& t);
    void apply_trackable_object_update(context::trackable_object& object, notified_trackable_object& t,
                                       timestamp ts);
    void on_trackable_object_deleted(const std::string& uid, timestamp ts);
    void on_groups_updated(libs::context_utils::parsers::trackable_object_groups& g);
    void on_association_changed(libs::context_utils::parsers::trackable_object_association& a);

    // Trackable objects in zones as the server reports them.
    void initialize_trackable_objects_in_zones();
    void initialize_trackable_objects_in_zone(notified_zone& z);
    void mark_event_generated(context::trackable_object_in_zone& record);
    void collect_trackables_in_zone(server_zone& zone, keys& found) const;
    void update_events(const keys& found);

    // Periodic re-synchronization, in two asynchronous stages, each list
    // applied by m_resync. A new one replaces the last, whatever its stage.
    void synchronize_context();
    void on_zones_from_server(zones_result zones);
    void forget_what_server_does_not_list(const objects_range<server_zone>& zones);
    void request_trackable_objects();
    static void return_freed_memory();
    void on_trackable_objects_from_server(trackable_objects_result objects);
    void update_zone_from_server(server_zone& s);
    void update_trackable_object_from_server(server_trackable_object& s);
    void remove_deleted_zones(const uids& on_server);
    void remove_deleted_trackable_objects(const uids& on_server);

    // Uid bytes and the text that holds them, per kind of object.
    using claimed_uids = std::unordered_map<kel::uid, std::string, uid_hash, uid_equal>;
    // Before a new zone or trackable object is stored: records its uid, or
    // throws when another stored one's uid decodes to the same bytes.
    static void claim_uid(claimed_uids& claimed, const std::string& uid, const char* kind);
    // When one is removed.
    static void release_uid(claimed_uids& claimed, const std::string& uid);

    static points get_points(const notified_zone& z);
    static boost::optional<context::point> get_position(const notified_trackable_object& t);
    static std::set<std::string> get_groups(const notified_trackable_object& t);

    libs::context_utils::context_synchronizer::ptr m_synchronizer;
    context::writable_context& m_context;
    libs::core::message_stream::subscription::ptr m_notify_subscription;
    libs::core::message_stream::subscription::ptr m_pos_subscription;
    libs::core::message_stream::subscription::ptr m_old_pos_subscription;
    libs::core::logger& m_logger;
    context_save_restore& m_context_save_restore;
    // Empty until initialize().
    libs::core::periodic_timer::ptr m_sync_timer;
    // The stages of the latest re-synchronization; replacing a handle drops
    // the answer of a request still in flight.
    zones_request::ptr m_zones_request_handle;
    trackable_objects_request::ptr m_trackable_objects_request_handle;
    libs::core::events_loop& m_events_loop;
    std::chrono::nanoseconds m_sync_period;
    sliced_task m_resync;
    claimed_uids m_zone_uids;
    claimed_uids m_object_uids;
};

}  // namespace kel
