#include "events_generator.h"

#include "context_save_restore.h"
#include "events_sender.h"
#include "zones_index.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace kel {

using context::trackable_object;
using context::zone;
using libs::core::timestamp;

namespace {

// Uid texts are short; comparing them word by word in line beats a call to
// memcmp, and the position path compares a few for every zone it visits.
bool same_text(const std::string& a, const std::string& b) {
    const std::size_t n = a.size();
    if (n != b.size())
        return false;
    if (n < 8)
        return a == b;
    const char* x = a.data();
    const char* y = b.data();
    std::uint64_t u, v;
    for (std::size_t i = 0; i + 8 < n; i += 8) {
        std::memcpy(&u, x + i, 8);
        std::memcpy(&v, y + i, 8);
        if (u != v)
            return false;
    }
    // The last eight bytes, overlapping what was compared already.
    std::memcpy(&u, x + n - 8, 8);
    std::memcpy(&v, y + n - 8, 8);
    return u == v;
}

bool same_sublocation(const boost::optional<const std::string&>& a, const boost::optional<const std::string&>& b) {
    return a && b && same_text(*a, *b);
}

// The saves of one observer call go to the store together. Declared after
// the call's events queue, so that the saves are waited for before the
// events go out, also when an exception leaves the call.
class save_batch {
public:
    explicit save_batch(context_save_restore& save_restore) : m_save_restore(save_restore) {
        m_save_restore.begin_batch();
    }
    ~save_batch() {
        if (!m_ended)
            m_save_restore.cancel_batch();
    }
    save_batch(const save_batch&) = delete;
    save_batch& operator=(const save_batch&) = delete;
    void end() {
        m_ended = true;
        m_save_restore.end_batch();
    }

private:
    context_save_restore& m_save_restore;
    bool m_ended = false;
};

bool intersects(const std::set<std::string>& a, const std::set<std::string>& b) {
    auto i = a.begin();
    auto j = b.begin();
    while (i != a.end() && j != b.end()) {
        if (*i < *j)
            ++i;
        else if (*j < *i)
            ++j;
        else
            return true;
    }
    return false;
}

}  // namespace

events_generator::events_generator(context::context& context, context_save_restore& save_restore,
                                   events_sender& sender, zones_index& index, const libs::core::logger& logger,
                                   std::set<std::string> ignored_zones_types)
    : m_context(context),
      m_context_save_restore(save_restore),
      m_events_sender(sender),
      m_zones_index(index),
      m_logger(logger),
      m_zones_subscription(context.get_zones().subscribe(*this)),
      m_trackable_objects_subscription(context.get_trackable_objects().subscribe(*this)),
      m_ignored_zones_types(std::move(ignored_zones_types)) {
    m_records_erased = records().on_erase([this](const context::trackable_object_in_zone_uid& key) {
        if (object_block* block = m_zones_index.find_block(uid{key[0], key[1]}))
            block->recent.forget(key);
    });
}

events_generator::~events_generator() = default;

void events_generator::after_creating(const zone& z, timestamp ts) {
    after_updating(z, ts);
}

void events_generator::after_creating(const trackable_object& o, timestamp ts) {
    // A new object may be the carrier of zones: who is allowed in them may
    // have changed for everyone.
    ++m_keep_in_epoch;
    after_updating(o, ts);
}

void events_generator::after_updating(const zone& z, timestamp ts) {
    epoch_guard guard(m_keep_in_epoch);
    m_zones_index.on_zone_update(z);
    auto queue = m_events_sender.create_queue();
    save_batch batch(m_context_save_restore);
    auto tiers = m_tiers.borrow();
    tiers_of(z, *tiers);
    for_each_affected(*tiers, [&](const trackable_object& object) { update_events(*queue, object, *tiers, ts); });
    batch.end();
    guard.done();
}

// Calls `f`, in repository order, for every object that a change of the
// zone whose tiers are `tiers` can affect; a visit of every object would
// give the same decisions.
template <typename F>
void events_generator::for_each_affected(const zones_range& tiers, F f) {
    auto affected = m_affected.borrow();
    if (!find_affected(tiers, *affected)) {
        for (const trackable_object& object : m_context.get_trackable_objects().get_range())
            f(object);
        return;
    }
    for (const auto& keyed : *affected)
        f(*keyed.object);
}

// The zone with the other tiers of its multi-tiered zone, in the group's
// order (a tier missing from the repository counts as the zone itself), or
// the zone alone when it is not carried with others. The same for every
// object evaluated in one observer call.
void events_generator::tiers_of(const zone& z, zones_range& tiers) const {
    const auto& owner = z.get_trackable_object_uid();
    const auto group = owner ? m_context.get_multi_tiered_zones().try_get(*owner) : boost::none;
    if (!group) {
        tiers.push_back(std::cref(z));
        return;
    }
    for (const auto& uid : group->zones()) {
        const auto tier = m_context.get_zones().try_get(uid);
        tiers.push_back(tier ? std::cref(*tier) : std::cref(z));
    }
}

void events_generator::after_updating(const trackable_object& o, timestamp ts) {
    epoch_guard guard(m_keep_in_epoch);
    auto& block = m_zones_index.block_of(o);
    m_zones_index.on_trackable_update(o, block);
    auto queue = m_events_sender.create_queue();
    save_batch batch(m_context_save_restore);
    update_events(*queue, o, block, ts);
    update_carried_zones(*queue, o, block, ts);
    batch.end();
    guard.done();
}

// The zones the object carries moved with it: any object may have entered
// or left them, but only the ones named below can have. They are evaluated
// in repository order, as a visit of every object would.
void events_generator::update_carried_zones(events_queue& queue, const trackable_object& o, object_block& block,
                                            timestamp ts) {
    if (!m_zones_index.carries_zones(o, block))
        return;
    const auto& carried = m_zones_index.carried_by(o, block);
    if (carried.tiers.empty())
        return;
    auto tiers = m_tiers.borrow();
    if (carried.first_is_own) {
        const zone& first = *carried.tiers.front();
        for (const zone* tier : carried.tiers)
            tiers->push_back(std::cref(tier ? *tier : first));
    } else {
        // The first zone is missing (get reports it) or another object's.
        const auto group = m_context.get_multi_tiered_zones().try_get(o.get_uid());
        tiers_of(m_context.get_zones().get(*group->zones().begin()), *tiers);
    }
    for_each_affected(*tiers, [&](const trackable_object& object) { update_events(queue, object, *tiers, ts); });
}

// A zone can only take in or let out an object of its sublocation whose
// position lies in its box; any other object would be evaluated to no
// effect unless it holds a record in the zone (a LEAVE may be owed, or it
// may be debouncing). A zone carried with others is evaluated with all its
// tiers. False when every object must be visited instead: a keep-in zone
// owes each object outside it a LEAVE, and a zone without a box or with a
// huge one cannot be searched cheaply.
bool events_generator::find_affected(const zones_range& tiers,
                                     std::vector<zones_index::keyed_object>& affected) const {
    const auto& objects = m_context.get_trackable_objects();
    for (const zone& tier : tiers) {
        if (tier.is_keep_in())
            return false;
    }
    if (!m_zones_index.append_objects_in(tiers, affected))
        return false;
    for (const zone& tier : tiers) {
        // A carrier's zones follow it before its own update ends: the index
        // may still file it under its previous position.
        if (const auto carrier = tier.find_carrier(objects))
            affected.push_back(zones_index::key_of(*carrier));
        for (const auto& recorder : m_zones_index.get_recorders(tier)) {
            if (const auto object = objects.try_get(recorder.get()))
                affected.push_back(zones_index::key_of(*object));
        }
    }
    std::sort(affected.begin(), affected.end(), zones_index::by_uid_text);
    affected.erase(std::unique(affected.begin(), affected.end(),
                               [](const zones_index::keyed_object& a, const zones_index::keyed_object& b) {
                                   return a.object == b.object;
                               }),
                   affected.end());
    return true;
}

void events_generator::before_deleting(const zone& z, timestamp ts) {
    epoch_guard guard(m_keep_in_epoch);
    m_zones_index.on_zone_delete(z);
    auto queue = m_events_sender.create_queue();
    save_batch batch(m_context_save_restore);
    for (const trackable_object& object : m_context.get_trackable_objects().get_range())
        clear_event(*queue, object, z, ts);
    batch.end();
    guard.done();
}

void events_generator::before_deleting(const trackable_object& o, timestamp ts) {
    // The zones it carried stay, without their carrier.
    ++m_keep_in_epoch;
    m_zones_index.block_of(o).keep_in = keep_in_inputs{};
    epoch_guard guard(m_keep_in_epoch);
    auto queue = m_events_sender.create_queue();
    save_batch batch(m_context_save_restore);
    for (const zone& z : m_context.get_zones().get_range())
        clear_event(*queue, o, z, ts);
    batch.end();
    // Last, so that a removal stopped by a failure above leaves the object
    // stored and still found by the index.
    m_zones_index.on_trackable_delete(o);
    guard.done();
}

void events_generator::update_events(events_queue& queue, const trackable_object& object, object_block& block,
                                     timestamp ts) {
    auto& inputs = block.keep_in;
    const bool same_inputs = inputs.valid && keep_in_settled(inputs, object);
    if (same_inputs)
        inputs.version = object.get_inputs_version();
    const bool settled = same_inputs && inputs.epoch == m_keep_in_epoch;
    // A carrier's inputs decide who is allowed in the zones it carries.
    if (inputs.valid && !same_inputs && m_zones_index.carries_zones(object, block))
        ++m_keep_in_epoch;
    // Should the evaluation fail half-way, the next one is whole.
    inputs.valid = false;
    zones_range range;
    range.swap(m_range);
    const auto& lists = block.zones;
    m_recorded = &lists.recorded;
    m_block = &block;
    collect_candidates(object, lists, !settled, range);
    evaluate(queue, object, range, ts);
    // The next position of the object will mostly use these again.
    block.recent.clear();
    for (record* r : m_pass_records) {
        if (r)
            block.recent.add(*r);
    }
    if (same_inputs) {
        inputs.epoch = m_keep_in_epoch;
        inputs.valid = true;
    } else {
        remember_keep_in_inputs(inputs, object);
    }
    m_range.swap(range);
}

// The union of the candidate sets, each zone once, in uid order: the events
// of one batch are then decided in the same order on every run, which an
// order by address would not give. The keep-in zones come sorted already;
// the few others are sorted and merged in.
void events_generator::collect_candidates(const trackable_object& object, const object_zones& lists,
                                          bool with_keep_in, zones_range& range) {
    auto& few = m_keyed_candidates;
    few.clear();
    for (const zone* z : lists.related)
        few.push_back(zones_index::key_of(*z));
    m_candidates.clear();
    m_zones_index.append_candidates_by_position(object, lists.recorded, m_candidates);
    for (const zone* z : m_candidates)
        few.push_back(zones_index::key_of(*z));
    std::sort(few.begin(), few.end(), zones_index::by_uid);
    auto& merged = m_merged_candidates;
    merged.clear();
    if (with_keep_in) {
        const auto& keep_in = m_zones_index.get_keep_in_zones_by_uid();
        std::merge(few.begin(), few.end(), keep_in.begin(), keep_in.end(), std::back_inserter(merged),
                   zones_index::by_uid);
    } else {
        merged.swap(few);
    }
    range.clear();
    for (std::size_t i = 0; i < merged.size(); ++i) {
        if (i == 0 || merged[i].z != merged[i - 1].z)
            range.push_back(std::cref(*merged[i].z));
    }
}

// Whether the object's inputs to its keep-in pairs, other than its
// position, are what they were at its last evaluation.
bool events_generator::keep_in_settled(const keep_in_inputs& inputs, const trackable_object& object) const {
    // The texts and groups compared below are cold by the time the object's
    // next position comes: their reads cost more than the rest of a
    // settled position together.
    if (inputs.version == object.get_inputs_version())
        return inputs.has_position == object.get_position().has_value();
    const auto sublocation = object.get_sublocation_uid();
    return inputs.responsive == object.get_responsive() && inputs.associated == object.get_associated() &&
           inputs.has_position == object.get_position().has_value() &&
           inputs.sublocation.has_value() == sublocation.has_value() &&
           (!sublocation || same_text(*inputs.sublocation, *sublocation)) &&
           same_text(inputs.project, object.get_project_uid()) && inputs.groups == object.get_groups();
}

void events_generator::remember_keep_in_inputs(keep_in_inputs& inputs, const trackable_object& object) const {
    inputs.responsive = object.get_responsive();
    inputs.associated = object.get_associated();
    inputs.has_position = object.get_position().has_value();
    // Assigned into the strings already there, which keep their capacity.
    const auto sublocation = object.get_sublocation_uid();
    if (!sublocation)
        inputs.sublocation = boost::none;
    else if (inputs.sublocation)
        inputs.sublocation->assign(*sublocation);
    else
        inputs.sublocation.emplace(*sublocation);
    inputs.project = object.get_project_uid();
    inputs.groups = object.get_groups();
    inputs.version = object.get_inputs_version();
    inputs.epoch = m_keep_in_epoch;
    inputs.valid = true;
}

void events_generator::update_events(events_queue& queue, const trackable_object& object, const zones_range& zones,
                                     timestamp ts) {
    m_block = &m_zones_index.block_of(object);
    m_recorded = &m_block->zones.recorded;
    evaluate(queue, object, zones, ts);
}

void events_generator::evaluate(events_queue& queue, const trackable_object& object, const zones_range& zones,
                                timestamp ts) {
    // Pass 1 hands each pair's record to pass 2, which would otherwise look
    // it up again. Records are nodes of the map, so the pointers stay valid
    // while pass 1 goes on; only the pair's own clearing erases one.
    std::vector<record*> pass_records;
    std::vector<char> looked_up;
    pass_records.swap(m_pass_records);
    looked_up.swap(m_pass_looked_up);
    pass_records.clear();
    looked_up.clear();
    for (const zone& z : zones) {
        bool known = false;
        pass_records.push_back(update_membership(queue, object, z, ts, known));
        looked_up.push_back(known);
    }
    if (object.get_position()) {
        for (std::size_t i = 0; i < zones.size(); ++i) {
            const zone& z = zones[i];
            record* r = pass_records[i];
            if (!r && !looked_up[i])
                r = lookup(record::make_uid(object, z));
            if (r)
                decide_event(queue, *r, object, z, ts);
            pass_records[i] = r;
        }
    }
    forget_settled_records(object, zones, pass_records);
    m_pass_records.swap(pass_records);
    m_pass_looked_up.swap(looked_up);
}

// Pass 1 for one pair: classify it as CLEAR, ELSEWHERE or MEMBERSHIP and
// move its membership state.
events_generator::record* events_generator::update_membership(events_queue& queue, const trackable_object& object,
                                                              const zone& z, timestamp ts, bool& looked_up) {
    const auto object_sublocation = object.get_sublocation_uid();
    const auto zone_sublocation = z.get_sublocation_uid();
    const auto uid = record::make_uid(object, z);
    looked_up = true;
    if (!z.is_keep_in()) {
        if (!same_sublocation(zone_sublocation, object_sublocation)) {
            // The index finds zones of every sublocation around the position;
            // most never saw this object.
            if (may_hold_record(z))
                clear_event(queue, object, z, ts);
            return nullptr;
        }
    } else {
        if (!same_text(z.get_project_uid(), object.get_project_uid())) {
            looked_up = false;
            return nullptr;
        }
        if (!object_sublocation) {
            clear_event(queue, object, z, ts);
            return nullptr;
        }
        if (!same_sublocation(zone_sublocation, object_sublocation)) {
            // A keep-in record is kept from its first evaluation on: its
            // events report the sublocation it was made with.
            record* existing = find_record(uid, z);
            auto& r = existing ? *existing : create_record(uid, object, z);
            r.set_in_zone(false);
            r.set_in_debouncing_state(false);
            save(r, z);
            return &r;
        }
    }
    const auto& position = object.get_position();
    if (!position) {
        looked_up = false;
        return nullptr;
    }
    // Outside a zone that is not keep-in, with no record yet: nothing changes
    // and no event is due, so no record is made. Zones near many objects
    // would otherwise keep an all-false record for each of them.
    record* existing = find_record(uid, z);
    if (!existing && !z.is_keep_in() && !point_in_zone(*position, z))
        return nullptr;
    auto& r = existing ? *existing : create_record(uid, object, z);
    update_membership_state(r, *position, z);
    return &r;
}

void events_generator::update_membership_state(record& r, const context::point& p, const zone& z) {
    if (r.is_in_debouncing_state()) {
        switch (polygon_in_zone(p, z)) {
        case polygon_state::inside:
            r.set_in_zone(true);
            break;
        case polygon_state::outside:
            r.set_in_zone(false);
            break;
        case polygon_state::partially_inside:
            return;
        }
        r.set_in_debouncing_state(false);
        save(r, z);
        return;
    }
    const bool inside = point_in_zone(p, z);
    if (inside == r.is_in_zone())
        return;
    r.set_in_zone(inside);
    r.set_in_debouncing_state(true);
    save(r, z);
}

// Pass 2 for one pair: the first matching row of the decision table.
void events_generator::decide_event(events_queue& queue, record& r, const trackable_object& object, const zone& z,
                                    timestamp ts) {
    const bool allowed = is_event_allowed(object, z);
    const bool in = r.is_in_zone();
    const bool keep = z.is_keep_in();
    if (in && allowed) {
        if (!r.is_event_generated() && is_smallest_buffer(object, z))
            generate_enter(queue, r, object, z, ts);
        return;
    }
    if (r.is_event_generated()) {
        generate_leave(queue, r, object, z, ts);
        if (!allowed && keep) {
            r.set_leave_generated(false);
            save(r, z);
        }
        return;
    }
    if (!allowed) {
        if (keep) {
            r.set_leave_generated(false);
            save(r, z);
        }
        return;
    }
    // Outside, allowed, no ENTER outstanding: a keep-in zone owes one LEAVE.
    if (keep && !r.is_leave_generated())
        generate_leave(queue, r, object, z, ts);
}

// A record of a zone that is not keep-in with all four flags false says no
// more than no record at all: outside, settled, nothing owed; its last save
// removed it from Redis, so it is dropped from memory too. Keep-in records
// stay: their later events report what the record was made with.
void events_generator::forget_settled_records(const trackable_object& object, const zones_range& zones,
                                              std::vector<record*>& pass_records) {
    auto& map = records();
    for (std::size_t i = 0; i < zones.size(); ++i) {
        const record* r = pass_records[i];
        if (r && !zones[i].get().is_keep_in() && !r->is_in_zone() && !r->is_event_generated() &&
            !r->is_leave_generated() && !r->is_in_debouncing_state()) {
            map.erase(record::make_uid(object, zones[i].get()));
            pass_records[i] = nullptr;
        }
    }
}

// A record of a zone that is not keep-in is saved with its zone when it gets
// a flag and dropped when it has none left, so a zone the index never saw
// for this object holds none; only the others are worth a lookup in the
// (much larger) record map. Keep-in records stay all-false too.
bool events_generator::may_hold_record(const zone& z) const {
    return z.is_keep_in() || std::find(m_recorded->begin(), m_recorded->end(), &z) != m_recorded->end();
}

events_generator::record* events_generator::find_record(const context::trackable_object_in_zone_uid& uid,
                                                        const zone& z) {
    if (!may_hold_record(z))
        return nullptr;
    return lookup(uid);
}

// Every record among the recent ones is in the map under its key, so a hit
// there is what the map would answer.
events_generator::record* events_generator::lookup(const context::trackable_object_in_zone_uid& uid) {
    if (record* r = m_block->recent.find(uid))
        return r;
    auto found = records().find(uid);
    return found == records().end() ? nullptr : &found->second;
}

void events_generator::clear_event(events_queue& queue, const trackable_object& object, const zone& z,
                                   timestamp ts) {
    auto& map = records();
    auto found = map.find(record::make_uid(object, z));
    if (found == map.end())
        return;
    auto& r = found->second;
    if (r.is_event_generated())
        generate_leave(queue, r, object, z, ts);
    r.clear();
    save(r, z);
    map.erase(found);
}

// A new record takes the object's project and sublocation (always present
// here) and the zone's type name; all flags start false.
events_generator::record& events_generator::create_record(const context::trackable_object_in_zone_uid& uid,
                                                          const trackable_object& object, const zone& z) {
    const auto sublocation = object.get_sublocation_uid();
    return records()
        .emplace(uid, record(uid, object.get_uid_text(), z.get_uid_text(),
                             context::interned_text(object.get_project_uid()),
                             context::interned_text(sublocation ? boost::string_view(*sublocation)
                                                                : boost::string_view()),
                             z.get_type_name_text()))
        .first->second;
}

// Every condition must hold; they are tested cheapest and most selective
// first (a zone that reports only its exceptions rejects almost everyone at
// the rule), which changes nothing of the result.
bool events_generator::is_event_allowed(const trackable_object& object, const zone& z) const {
    if (!z.get_active())
        return false;
    if (!(object.get_responsive() && object.get_associated()))
        return false;
    const bool by_rule = is_exception(object, z) ? z.get_default_allowed() : !z.get_default_allowed();
    if (!by_rule)
        return false;
    const auto& owner_uid = z.get_trackable_object_uid();
    if (owner_uid) {
        if (*owner_uid == object.get_uid())
            return false;
        const auto owner = z.find_carrier(m_context.get_trackable_objects());
        if (owner && !(owner->get_associated() && owner->get_responsive()))
            return false;
    }
    return !m_ignored_zones_types.count(z.get_type_name());
}

bool events_generator::is_exception(const trackable_object& object, const zone& z) const {
    return z.is_exception(object.get_uid(), object.get_uid_bytes()) ||
           intersects(object.get_groups(), z.get_exceptions_groups());
}

bool events_generator::is_smallest_buffer(const trackable_object& object, const zone& z) const {
    const auto& owner = z.get_trackable_object_uid();
    if (!owner)
        return true;
    const auto group = m_context.get_multi_tiered_zones().try_get(*owner);
    if (!group)
        return true;
    const auto radius = z.get_radius();
    if (!radius)
        return true;
    const auto& map = m_context.get_trackable_objects_in_zones();
    for (const auto& uid : group->zones()) {
        const auto other = m_context.get_zones().try_get(uid);
        if (!other)
            continue;
        const auto found = map.find(record::make_uid(object, *other));
        if (found == map.end() || !found->second.is_in_zone())
            continue;
        const auto other_radius = other->get_radius();
        if (!other_radius || *other_radius < *radius)
            return false;
    }
    return true;
}

void events_generator::generate_enter(events_queue& queue, record& r, const trackable_object& object, const zone& z,
                                      timestamp ts) {
    r.set_event_generated(true);
    queue.send_enter(r, object, ts);
    save(r, z);
    m_logger.debug("GENERATE ENTER");
}

void events_generator::generate_leave(events_queue& queue, record& r, const trackable_object& object, const zone& z,
                                      timestamp ts) {
    r.set_event_generated(false);
    if (z.is_keep_in())
        r.set_leave_generated(true);
    queue.send_leave(r, object, ts);
    save(r, z);
    m_logger.debug("GENERATE LEAVE");
}

// A save of a record exactly as its last save left it would write what the
// store holds and tell the index what it knows: only changed records go out.
void events_generator::save(const record& r, const zone& z) {
    if (r.is_saved_as_is())
        return;
    m_context_save_restore.save(r, z);
}

bool events_generator::point_in_zone(const context::point& p, const zone& z) const {
    return kel::point_in_zone(p, z, m_context);
}

polygon_state events_generator::polygon_in_zone(const context::point& p, const zone& z) const {
    return kel::polygon_in_zone(p, z, m_context);
}

}  // namespace kel
