#pragma once

#include "context/context.h"
#include "scratch_vector.h"
#include "zone_geometry.h"
#include "zones_index.h"

#include "core/logger.h"
#include "core/timestamp.h"

#include <boost/signals2/connection.hpp>

#include <context_utils/objects_repository.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace kel {

class context_save_restore;
class events_queue;
class events_sender;
class zones_index;

// Decides when a trackable object enters or leaves a zone. Driven only by
// the change notifications of the zones and trackable objects repositories:
// each notification takes one events queue, re-evaluates the affected
// object-zone pairs, saves every changed record and releases the queue, which
// sends the batch (also when an exception leaves the notification).
//
// Membership of every zone of a batch is settled first (pass 1) and events
// are decided afterwards (pass 2), so that the smallest-buffer rule of a
// multi-tiered zone sees the membership of all its tiers.
//
// The context, persistence, sender and index must outlive the generator;
// its subscriptions end with it.
class events_generator : public libs::context_utils::objects_repository<context::zone>::observer,
                         public libs::context_utils::objects_repository<context::trackable_object>::observer {
public:
    events_generator(context::context& context, context_save_restore& save_restore, events_sender& sender,
                     zones_index& index, const libs::core::logger& logger, std::set<std::string> ignored_zones_types);
    ~events_generator() override;
    events_generator(const events_generator&) = delete;
    events_generator& operator=(const events_generator&) = delete;

    void after_creating(const context::zone& zone, libs::core::timestamp ts) override;
    void after_updating(const context::zone& zone, libs::core::timestamp ts) override;
    void before_deleting(const context::zone& zone, libs::core::timestamp ts) override;
    void after_creating(const context::trackable_object& object, libs::core::timestamp ts) override;
    void after_updating(const context::trackable_object& object, libs::core::timestamp ts) override;
    void before_deleting(const context::trackable_object& object, libs::core::timestamp ts) override;

    bool point_in_zone(const context::point& p, const context::zone& zone) const;
    polygon_state polygon_in_zone(const context::point& p, const context::zone& zone) const;

private:
    using zones_range = std::vector<std::reference_wrapper<const context::zone>>;
    using record = context::trackable_object_in_zone;

    // Appends to `tiers`.
    void tiers_of(const context::zone& zone, zones_range& tiers) const;
    bool find_affected(const zones_range& tiers, std::vector<zones_index::keyed_object>& affected) const;
    template <typename F>
    void for_each_affected(const zones_range& tiers, F f);

    // Bumps the keep-in epoch unless done() is called, as the last step of
    // an observer call: an exception that leaves the call may leave some
    // pairs undecided. Cheaper than asking for uncaught exceptions twice
    // per position.
    class epoch_guard {
    public:
        explicit epoch_guard(std::uint64_t& epoch) : m_epoch(epoch) {}
        ~epoch_guard() {
            if (!m_done)
                ++m_epoch;
        }
        void done() { m_done = true; }
        epoch_guard(const epoch_guard&) = delete;
        epoch_guard& operator=(const epoch_guard&) = delete;

    private:
        std::uint64_t& m_epoch;
        bool m_done = false;
    };
    bool keep_in_settled(const keep_in_inputs& inputs, const context::trackable_object& object) const;
    void remember_keep_in_inputs(keep_in_inputs& inputs, const context::trackable_object& object) const;
    void collect_candidates(const context::trackable_object& object, const object_zones& lists,
                            bool with_keep_in, zones_range& range);

    // `block` is the object's, looked up once per position.
    void update_carried_zones(events_queue& queue, const context::trackable_object& object, object_block& block,
                              libs::core::timestamp ts);
    void update_events(events_queue& queue, const context::trackable_object& object, object_block& block,
                       libs::core::timestamp ts);
    void update_events(events_queue& queue, const context::trackable_object& object, const zones_range& zones,
                       libs::core::timestamp ts);
    // Both passes over `zones`; m_recorded must be the object's recorded
    // zones.
    void evaluate(events_queue& queue, const context::trackable_object& object, const zones_range& zones,
                  libs::core::timestamp ts);

    // Returns the pair's record after pass 1, or nullptr when pass 1 left
    // none behind; `looked_up` tells whether nullptr means "known absent".
    record* update_membership(events_queue& queue, const context::trackable_object& object,
                              const context::zone& zone, libs::core::timestamp ts, bool& looked_up);
    void update_membership_state(record& r, const context::point& p, const context::zone& zone);
    void decide_event(events_queue& queue, record& r, const context::trackable_object& object,
                      const context::zone& zone, libs::core::timestamp ts);

    // Nulls the entries of `pass_records` it erases.
    void forget_settled_records(const context::trackable_object& object, const zones_range& zones,
                                std::vector<record*>& pass_records);
    // Whether the object under evaluation may hold a record in `zone`.
    bool may_hold_record(const context::zone& zone) const;
    record* find_record(const context::trackable_object_in_zone_uid& uid, const context::zone& zone);
    // The record of the object under evaluation, if any, by its key.
    record* lookup(const context::trackable_object_in_zone_uid& uid);
    void clear_event(events_queue& queue, const context::trackable_object& object, const context::zone& zone,
                     libs::core::timestamp ts);
    // Call only when find_record found none.
    record& create_record(const context::trackable_object_in_zone_uid& uid, const context::trackable_object& object,
                          const context::zone& zone);
    bool is_event_allowed(const context::trackable_object& object, const context::zone& zone) const;
    bool is_exception(const context::trackable_object& object, const context::zone& zone) const;
    bool is_smallest_buffer(const context::trackable_object& object, const context::zone& zone) const;
    void generate_enter(events_queue& queue, record& r, const context::trackable_object& object,
                        const context::zone& zone, libs::core::timestamp ts);
    void generate_leave(events_queue& queue, record& r, const context::trackable_object& object,
                        const context::zone& zone, libs::core::timestamp ts);
    void save(const record& r, const context::zone& zone);

    context::trackable_objects_in_zones& records() { return m_context.take_trackable_objects_in_zones(); }

    context::context& m_context;
    context_save_restore& m_context_save_restore;
    events_sender& m_events_sender;
    zones_index& m_zones_index;
    const libs::core::logger& m_logger;
    libs::context_utils::objects_repository<context::zone>::subscription_handle m_zones_subscription;
    libs::context_utils::objects_repository<context::trackable_object>::subscription_handle
        m_trackable_objects_subscription;
    std::set<std::string> m_ignored_zones_types;
    // Scratch space of the position path, kept to avoid allocating per call;
    // update_events never re-enters itself.
    std::vector<const context::zone*> m_candidates;
    std::vector<zones_index::keyed_zone> m_keyed_candidates;
    std::vector<zones_index::keyed_zone> m_merged_candidates;
    zones_range m_range;
    std::vector<record*> m_pass_records;
    std::vector<char> m_pass_looked_up;
    // Lent per zone change and per carrier move, which may nest.
    scratch_vector<std::reference_wrapper<const context::zone>> m_tiers;
    scratch_vector<zones_index::keyed_object> m_affected;
    // The zones of the object under evaluation that may hold its records,
    // and its block.
    const std::vector<const context::zone*>* m_recorded = nullptr;
    object_block* m_block = nullptr;
    // Takes each erased record out of its object's recent records.
    boost::signals2::scoped_connection m_records_erased;
    // Keep-in zones are evaluated for every object of their project at every
    // position, yet one evaluation leaves each pair in a state that a later
    // position outside the zone's box cannot change, as long as the object's
    // other inputs stay and nothing else touched the pair. Changes of the
    // zone itself, its tiers or its carrier re-evaluate every object there
    // and then. So a position whose object's inputs match these (at the
    // current epoch) evaluates only the keep-in zones of its sublocation
    // whose box holds the position, and those in which it has a record in
    // play. (In a keep-in zone of another sublocation the outcome does not
    // depend on the position at all.) The epoch moves when an
    // object appears or goes, when one carrying zones changes its inputs,
    // and when an observer call fails half-way. The inputs are kept in the
    // object's block.
    std::uint64_t m_keep_in_epoch = 1;
};

}  // namespace kel
