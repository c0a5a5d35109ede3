#pragma once

#include "context/context.h"
#include "globals.h"
#include "redis/redis_context.h"

#include <context_utils/objects_repository.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace kel {

// Mirrors the zones and trackable objects of the context into Redis, for
// operators to look at; nothing reads it back. Each zone is one hash
// "quorvane:zones:<uid>" listed in "quorvane:zones:set", each trackable
// object one hash "quorvane:trackable_objects:<uid>" listed in
// "quorvane:trackable_objects:set". A zone is rewritten at every change; a
// trackable object only when its responsive or associated flag changed,
// since positions change far too often to mirror.
//
// Redis errors propagate to the repository that reported the change. The
// context and the Redis context must outlive the mirror; destroying it ends
// both subscriptions.
class context_debug : public libs::context_utils::objects_repository<context::zone>::observer,
                      public libs::context_utils::objects_repository<context::trackable_object>::observer {
public:
    // Subscribes to the zones, then the trackable objects, and deletes what
    // a previous run mirrored.
    context_debug(const context::context& context, redis::context& redis_context);
    context_debug(const context_debug&) = delete;
    context_debug& operator=(const context_debug&) = delete;

    void after_creating(const context::zone& zone, libs::core::timestamp ts) override;
    void after_updating(const context::zone& zone, libs::core::timestamp ts) override;
    void before_deleting(const context::zone& zone, libs::core::timestamp ts) override;
    void after_creating(const context::trackable_object& object, libs::core::timestamp ts) override;
    void after_updating(const context::trackable_object& object, libs::core::timestamp ts) override;
    void before_deleting(const context::trackable_object& object, libs::core::timestamp ts) override;

    // Within a burst of the Redis client, writes only append. Call
    // burst_sent() when the client sent the burst, and end_burst() once it
    // settled, telling whether its commands reached Redis: objects whose
    // write was in a failed burst are written again at their next report.
    // The next burst may write between the two calls.
    void burst_sent();
    void end_burst(bool written);

private:
    // What was last written of a trackable object.
    struct cache {
        bool m_responsive;
        bool m_associated;

        bool operator==(const cache& other) const {
            return m_responsive == other.m_responsive && m_associated == other.m_associated;
        }
    };

    static cache make_cached(const context::trackable_object& object);

    void clear_mirrored(const std::string& set_key, const char* delete_format);
    void write_zone(const context::zone& zone, libs::core::timestamp ts);
    void delete_zone(const context::zone& zone);
    void write_trackable_object(const context::trackable_object& object, libs::core::timestamp ts);
    void delete_trackable_object(const context::trackable_object& object);
    // After a reconnect (noticed by whichever command came first) Redis may
    // have come back empty: forget what was written so that every object is
    // written again at its next report.
    void forget_cache_after_reconnect();

    redis::context& m_redis_context;
    libs::context_utils::objects_repository<context::zone>::subscription_handle m_zones_subscription_handle;
    libs::context_utils::objects_repository<context::trackable_object>::subscription_handle
        m_trackable_objects_subscription_handle;
    std::unordered_map<kel::uid, cache, uid_hash, uid_equal> m_trackable_objects_cache;
    // Moves whenever the cache forgets an entry, which voids every
    // object's mirror hint; never 0, the epoch of an object never compared.
    std::uint32_t m_cache_epoch = 1;
    // Objects cached in the open burst, before Redis answered.
    std::vector<kel::uid> m_cached_in_burst;
    // Those of the burst the client sent and has not settled.
    std::vector<kel::uid> m_cached_in_sent;
    std::uint64_t m_seen_reconnects;
    // Scratch text of write_zone, kept with its capacity from call to call.
    std::string m_zone_key;
    std::string m_serialized_ts;
};

}  // namespace kel
