#pragma once

#include "context/context.h"
#include "globals.h"
#include "object_blocks.h"
#include "objects_grid.h"
#include "zone_geometry.h"
#include "zone_trees.h"

#include "core/logger.h"
#include "core/timestamp.h"

#include <boost/optional.hpp>
#include <boost/signals2/connection.hpp>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kel {

class context_save_restore;
class events_sender;

// Which zones the events generator must evaluate for a trackable object:
// the zones whose widened box contains the object's position (an R-tree
// query), the zones in which the object has a membership in play (kept from
// the save and event signals), and every keep-in zone.
//
// Zone references point into the zones repository; the generator calls
// on_zone_delete before a zone is removed, so none dangles. The context, the
// persistence and the sender must outlive the index.
//
// The objects grid is kept by the index itself: it files the objects the
// repository holds when the index is built, and every object created or
// updated later, through a subscription of its own. Built before the other
// observers of the trackable objects subscribe, it is told of a change
// before any of them can fail, so the grid never misses an object that the
// repository holds, whether or not the events generator heard of it.
class zones_index {
public:
    // A zone with a copy of its uid words, so that sorting zones by uid does
    // not chase their pointers.
    struct keyed_zone {
        std::uint64_t word0;
        std::uint64_t word1;
        const context::zone* z;
    };
    // Uid words first; the text settles the rare uids that decode alike, and
    // identity the same zone met twice.
    static bool by_uid(const keyed_zone& a, const keyed_zone& b);
    static keyed_zone key_of(const context::zone& zone) {
        return {zone.get_uid_bytes()[0], zone.get_uid_bytes()[1], &zone};
    }
    // An object with the first eight bytes of its uid text, big-endian and
    // zero-padded: integers in the text's order, so that sorting objects in
    // repository order reads each text once instead of at every comparison.
    struct keyed_object {
        std::uint64_t prefix;
        const context::trackable_object* object;
    };
    static keyed_object key_of(const context::trackable_object& object);
    // Prefix first; the whole text settles a tie.
    static bool by_uid_text(const keyed_object& a, const keyed_object& b);
    using zones = kel::object_zones::zones;
    using recorded_zones = kel::object_zones::zone_list;

    // The index reports nothing of its own: the logger is taken so that it
    // is built like the components around it.
    zones_index(context_save_restore& save_restore, events_sender& sender, const context::context& context,
                const libs::core::logger& logger);
    virtual ~zones_index();
    zones_index(const zones_index&) = delete;
    zones_index& operator=(const zones_index&) = delete;

    void on_zone_update(const context::zone& zone);
    void on_zone_delete(const context::zone& zone);
    // Carried zones follow their carrier: its multi-tiered zone's members
    // are re-filed (or, on delete, taken out of the trees).
    void on_trackable_update(const context::trackable_object& object) { on_trackable_update(object, block_of(object)); }
    // The same with the object's block, when the caller holds it already.
    void on_trackable_update(const context::trackable_object& object, object_block& block);
    // Also takes the object out of the grid: call it once the object's
    // removal can no longer fail (from the last observer, at the end of its
    // before_deleting), so that a removal that an observer stopped leaves
    // the object filed.
    void on_trackable_delete(const context::trackable_object& object);

    // Empty for an object without records in play.
    const object_zones::zone_list& get_related_zones(const context::trackable_object& object) const;
    const zones& get_keep_in_zones() const { return m_keep_in_zones; }
    // The same zones, sorted by_uid.
    const std::vector<keyed_zone>& get_keep_in_zones_by_uid() const { return m_keep_in_by_uid; }
    // Zones whose box strictly contains the object's position, or its last
    // position when it has none now.
    zones get_zones_by_position(const context::trackable_object& object) const;
    // The same zones, appended to `out` without building a set.
    void append_zones_by_position(const context::trackable_object& object,
                                  std::vector<const context::zone*>& out) const;
    // As append_zones_by_position, less the zones of another sublocation
    // than the object's (or of none, or the object has none) that are not
    // in `recorded`, the object's get_recorded_zones. Sites stack their
    // sublocations (floors) over the same coordinates, so most zones around
    // a position are of other floors: the position path has nothing to do
    // in those, save for an ordinary zone that may still hold a record of
    // the object.
    void append_candidates_by_position(const context::trackable_object& object, const recorded_zones& recorded,
                                       std::vector<const context::zone*>& out) const;

    // The zones that are not keep-in in which the object may have a
    // membership record: every such zone whose last save of the object's
    // record had a flag set. Never misses a
    // record saved with its zone; may still list one dropped since. The
    // position path asks it before the record map, whose lookups dominate
    // the cost of evaluating the many zones an object has no record in.
    // The returned list stays the object's own and is kept current by later
    // saves, so a caller may hold it across them.
    const recorded_zones& get_recorded_zones(const context::trackable_object& object);

    // Both lists of one object, kept in its block: the position path needs
    // both for every position. They stay the object's own, as
    // get_recorded_zones' list does.
    const object_zones& get_object_zones(const context::trackable_object& object) {
        return m_blocks.of(object).zones;
    }

    // The block of everything the engine keeps of the object; the index
    // keeps the blocks, and takes one away with its object's removal once
    // nothing is filed in it.
    object_block& block_of(const context::trackable_object& object) { return m_blocks.of(object); }
    // Null when the uid has no block.
    object_block* find_block(const kel::uid& key) { return m_blocks.find(key); }
    // Whether the object carries zones (a multi-tiered zone is filed under
    // its uid). Asks the multi-tiered zones only when they changed since
    // the object's last answer. `block` is the object's.
    bool carries_zones(const context::trackable_object& object, object_block& block);
    // The zones the object's multi-tiered zone lists (empty when it carries
    // none), kept in its block while the zones and the multi-tiered zones
    // stay unchanged.
    const carried_zones& carried_by(const context::trackable_object& object, object_block& block);

    // Uids of the objects whose last save of their record in `zone` (not a
    // keep-in zone) had a flag set: the objects that may hold a record there.
    const std::vector<context::interned_text>& get_recorders(const context::zone& zone) const;
    // Appends, keyed, the objects whose current position lies in the box of
    // one of `zones` (edges included) and whose sublocation is that zone's:
    // the only objects whose position can make one of the zones a candidate
    // for them, as append_candidates_by_position finds it. Zones of one
    // sublocation are searched for together, under the union of their
    // boxes, so an object may be appended that lies in that union and in
    // none of the boxes; none is missed. False, when a zone has no box or
    // the boxes are too large to be worth it: `out` is then to be ignored.
    bool append_objects_in(const std::vector<std::reference_wrapper<const context::zone>>& zones,
                           std::vector<keyed_object>& out) const;

    void on_save(const context::trackable_object_in_zone& record, boost::optional<const context::zone&> zone);
    void on_enter_event(const context::trackable_object_in_zone& record);
    void on_leave_event(const context::trackable_object_in_zone& record);

private:
    class objects_filer final : public libs::context_utils::objects_repository<context::trackable_object>::observer {
    public:
        explicit objects_filer(zones_index& index) : m_index(index) {}
        void after_creating(const context::trackable_object& object, libs::core::timestamp) override {
            m_index.file(object);
        }
        void after_updating(const context::trackable_object& object, libs::core::timestamp) override {
            m_index.file(object);
        }

    private:
        zones_index& m_index;
    };
    void file(const context::trackable_object& object);

    // Keeps the keep-in lists in step with the zone's type.
    void file_keep_in(const context::zone& zone);
    void file_records_of(const context::zone& zone);
    template <typename F>
    void for_each_carried_zone(const context::trackable_object& object, object_block& block, F f);

    // Zones are filed by a key of their sublocation, so that a position is
    // searched for among the zones of its own floor only.
    zone_trees m_trees;
    std::unordered_map<const context::zone*, std::vector<context::interned_text>> m_recorders;
    object_blocks m_blocks;
    objects_grid m_objects_grid;
    // Scratch of append_objects_in: one search per sublocation, and what
    // the grid appends before the sublocation filter.
    struct search {
        std::uint64_t key;
        index_box box;
    };
    mutable std::vector<search> m_searches;
    mutable std::vector<const context::trackable_object*> m_in_box;
    objects_filer m_objects_filer{*this};
    libs::context_utils::objects_repository<context::trackable_object>::subscription_handle m_objects_subscription;
    zones m_keep_in_zones;
    std::vector<keyed_zone> m_keep_in_by_uid;
    const context::context& m_context;
    boost::signals2::scoped_connection m_on_save_connection;
    boost::signals2::scoped_connection m_on_enter_event_connection;
    boost::signals2::scoped_connection m_on_leave_event_connection;
};

}  // namespace kel
