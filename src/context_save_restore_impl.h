#pragma once

#include "context/writable_context.h"
#include "context_save_restore.h"
#include "events_sender.h"
#include "record_key.h"
#include "redis/redis_context.h"

#include "core/logger.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kel {

// Persistence of trackable objects in zones in Redis: one hash per record
// under "quorvane:trackable_objects_in_zones:<object uid>-<zone uid>" and
// the set of their ids, plus "quorvane:version", the layout version, which
// makes the migration from the older layout run once per database.
//
// When the Redis connection had to be re-established, Redis may have come
// back empty or missed writes; the next operation after restore() then
// rewrites every record memory holds and deletes the stored ones memory no
// longer has.
//
// A stored record that cannot be read (fields missing, a key of the wrong
// type) is skipped at restore with one error line naming its key: one bad
// record never stops a start. A layout version that is no number, or one
// this build does not know, does: restore() throws naming the key and the
// value.
//
// The Redis context, the events sender, the context and the logger must
// outlive it.
class context_save_restore_impl : public context_save_restore {
public:
    // `ignored_zones_types`: zone types for which the migration never marks
    // an enter event as sent.
    context_save_restore_impl(redis::context& redis_context, events_sender& events_sender,
                              context::writable_context& context, std::set<std::string> ignored_zones_types,
                              const libs::core::component_logger& logger);

    void restore() override;
    void check_event(const context::trackable_object_in_zone& record) override;
    void save(const context::trackable_object_in_zone& record, boost::optional<const context::zone&> zone) override;
    connection do_on_save(const slot_type& slot) override;
    void begin_batch() override;
    void end_batch() override;
    void cancel_batch() noexcept override;

    // Within a burst of the Redis client, batches and single saves only
    // append: the burst's end writes them all. Call burst_sent() when the
    // client sent the burst, and end_burst() once it settled, telling
    // whether its commands reached Redis: a failed burst's records count as
    // never saved and the next operation rewrites what memory holds; after a
    // written one, a rewrite due (Redis was reconnected) runs now, or at the
    // end of the burst that is open by then, and may throw. The next burst
    // may save between the two calls: its records wait for its own.
    void burst_sent();
    void end_burst(bool written);
    // Whether a rewrite of every record is due and has not run yet.
    bool rewrite_pending() const {
        return m_restored && (m_rewrite_due || m_synced_reconnects != m_redis_context.get_reconnects());
    }

    // Pings Redis, which re-establishes a broken connection; when the
    // connection was replaced since the last rewrite, rewrites every record
    // memory holds (Redis may have come back empty). Throws when Redis
    // cannot be reached. Does nothing to the records before restore().
    void check_store();

    void remove(boost::string_view id);
    void remove(const context::trackable_object_in_zone& record);
    // Reads the older layout into the context and the new layout, and
    // deletes its keys.
    void restore_zone_detector_events();

private:
    // The bodies of save and check_event, without the resynchronisation,
    // which must not run before every stored record is back in memory.
    void store(const context::trackable_object_in_zone& record, boost::optional<const context::zone&> zone);
    void drop_if_orphaned(const context::trackable_object_in_zone& record);

    // Leaves the record's key and id in m_key.
    void write(const context::trackable_object_in_zone& record);
    int stored_version();
    // Runs `read`, the restore of what is stored under `key`; when Redis
    // refuses the reading (a key of the wrong type), logs it and goes on.
    void skip_unreadable(const std::string& key, const std::function<void()>& read) const;
    void restore_record(const std::string& id);
    void migrate_trackable_object(const std::string& object_uid);
    void migrate_zone_entry(const std::string& object_uid, const kel::uid& object_uid_bytes,
                            const std::string& project_uid, const std::string& sublocation_uid,
                            const std::string& entry);
    void delete_older_zone(const std::string& zone_uid);
    // Puts a restored record into the context (keeping one already there)
    // and returns it.
    context::trackable_object_in_zone& emplace_record(const std::string& object_uid, const kel::uid& object_uid_bytes,
                                                      const std::string& zone_uid, const std::string& project_uid,
                                                      const std::string& sublocation_uid,
                                                      const std::string& zone_type_name);
    void resync_after_reconnect();
    void rewrite_all();
    // What a failed batch wrote of `batched` is unknown; empties it.
    void batch_failed(std::vector<context::trackable_object_in_zone_uid>& batched) noexcept;
    bool appending() const { return m_batching || m_redis_context.in_burst(); }
    // Sends a command at once, or appends it to the batch or burst.
    void command_views(std::initializer_list<boost::string_view> args);

    redis::context& m_redis_context;
    events_sender& m_events_sender;
    context::writable_context& m_context;
    std::set<std::string> m_ignored_zones_types;
    const libs::core::component_logger& m_logger;
    save_signal m_on_save;
    // Records are resynchronised only once restore() has brought every
    // stored one into memory, or records not yet read back would be deleted.
    bool m_restored = false;
    std::uint64_t m_synced_reconnects;
    // Set by a failed batch: the next operation rewrites every record.
    bool m_rewrite_due = false;
    bool m_batching = false;
    // The records saved in the open batch or burst, marked saved before
    // Redis answered.
    std::vector<context::trackable_object_in_zone_uid> m_batched;
    // Those of the burst the client sent and has not settled.
    std::vector<context::trackable_object_in_zone_uid> m_sent;
    // The key and id of the record written or removed last.
    record_key m_key;
};

}  // namespace kel
