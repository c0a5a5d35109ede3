#include "zones_index.h"

#include "context_save_restore.h"
#include "events_sender.h"


#include <boost/endian/conversion.hpp>
#include <boost/geometry/algorithms/expand.hpp>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace kel {

namespace {

bool in_play(const context::trackable_object_in_zone& record) {
    return record.is_in_zone() || record.is_event_generated() || record.is_in_debouncing_state();
}

bool has_state(const context::trackable_object_in_zone& record) {
    return in_play(record) || record.is_leave_generated();
}

// Equal sublocation texts give equal keys; 1 stands for no sublocation,
// which no text's key equals. Zones and objects keep their text's hash.
template <typename T>
std::uint64_t sublocation_key(const T& zone_or_object) {
    return zone_or_object.get_sublocation_uid() ? zone_or_object.get_sublocation_hash() | 2 : 1;
}

void add_zone(object_zones::zone_list& zones, const context::zone& zone) {
    if (std::find(zones.begin(), zones.end(), &zone) == zones.end())
        zones.push_back(&zone);
}

void erase_zone(object_zones::zone_list& zones, const context::zone& zone) {
    const auto found = std::find(zones.begin(), zones.end(), &zone);
    if (found != zones.end())
        zones.erase(found);
}

}  // namespace

bool zones_index::by_uid(const keyed_zone& a, const keyed_zone& b) {
    if (a.word0 != b.word0)
        return a.word0 < b.word0;
    if (a.word1 != b.word1)
        return a.word1 < b.word1;
    if (a.z == b.z)
        return false;
    if (a.z->get_uid() != b.z->get_uid())
        return a.z->get_uid() < b.z->get_uid();
    return a.z < b.z;
}

zones_index::keyed_object zones_index::key_of(const context::trackable_object& object) {
    const auto& uid = object.get_uid();
    std::uint64_t prefix = 0;
    if (uid.size() >= sizeof prefix) {
        // One load; uids are longer than eight characters but for the odd one.
        std::memcpy(&prefix, uid.data(), sizeof prefix);
        return {boost::endian::big_to_native(prefix), &object};
    }
    for (std::size_t i = 0; i < sizeof prefix; ++i)
        prefix = prefix << 8 | (i < uid.size() ? static_cast<unsigned char>(uid[i]) : 0u);
    return {prefix, &object};
}

bool zones_index::by_uid_text(const keyed_object& a, const keyed_object& b) {
    if (a.prefix != b.prefix)
        return a.prefix < b.prefix;
    return a.object != b.object && a.object->get_uid() < b.object->get_uid();
}

zones_index::zones_index(context_save_restore& save_restore, events_sender& sender, const context::context& context,
                         const libs::core::logger&)
    : m_objects_subscription(context.get_trackable_objects().subscribe(m_objects_filer)),
      m_context(context) {
    for (const context::trackable_object& object : context.get_trackable_objects().get_range())
        file(object);
    m_on_save_connection = save_restore.do_on_save(
        [this](const context::trackable_object_in_zone& record, boost::optional<const context::zone&> zone) {
            on_save(record, zone);
        });
    m_on_enter_event_connection = sender.do_on_enter_event(
        [this](const context::trackable_object_in_zone& record, boost::optional<const context::trackable_object&>,
               libs::core::timestamp) { on_enter_event(record); });
    m_on_leave_event_connection = sender.do_on_leave_event(
        [this](const context::trackable_object_in_zone& record, boost::optional<const context::trackable_object&>,
               libs::core::timestamp) { on_leave_event(record); });
}

zones_index::~zones_index() = default;

void zones_index::file(const context::trackable_object& object) {
    m_objects_grid.update(object, m_blocks.of(object), sublocation_key(object));
}

void zones_index::on_zone_update(const context::zone& zone) {
    file_keep_in(zone);
    if (const auto box = envelope(zone, m_context))
        m_trees.file(zone, *box, sublocation_key(zone),
                     zone.get_trackable_object_uid().has_value());
}

void zones_index::file_keep_in(const context::zone& zone) {
    const bool filed = m_keep_in_zones.count(zone) != 0;
    if (zone.is_keep_in() && !filed) {
        m_keep_in_zones.insert(zone);
        const auto key = key_of(zone);
        m_keep_in_by_uid.insert(std::upper_bound(m_keep_in_by_uid.begin(), m_keep_in_by_uid.end(), key, by_uid),
                                key);
    } else if (!zone.is_keep_in() && filed) {
        m_keep_in_zones.erase(zone);
        m_keep_in_by_uid.erase(std::find_if(m_keep_in_by_uid.begin(), m_keep_in_by_uid.end(),
                                            [&](const keyed_zone& k) { return k.z == &zone; }));
        file_records_of(zone);
    }
}

// The records of a keep-in zone were never listed as recorded (every object
// is evaluated there); once it is an ordinary zone, the position path finds
// them only through these lists, or an owed LEAVE would never come.
void zones_index::file_records_of(const context::zone& zone) {
    const auto& z = zone.get_uid_bytes();
    for (const auto& entry : m_context.get_trackable_objects_in_zones()) {
        const auto& key = entry.first;
        if (key[2] == z[0] && key[3] == z[1] && entry.second.get_zone_uid() == zone.get_uid())
            on_save(entry.second, zone);
    }
}

void zones_index::on_zone_delete(const context::zone& zone) {
    m_trees.remove(zone);
    if (m_keep_in_zones.erase(zone))
        m_keep_in_by_uid.erase(std::find_if(m_keep_in_by_uid.begin(), m_keep_in_by_uid.end(),
                                            [&](const keyed_zone& k) { return k.z == &zone; }));
    // Records of objects that are not in the repository (restored ones, say)
    // are not cleared with the zone; no reference to it may survive it.
    m_blocks.for_each([&](object_block& block) {
        erase_zone(block.zones.related, zone);
        erase_zone(block.zones.recorded, zone);
    });
    m_recorders.erase(&zone);
}

bool zones_index::carries_zones(const context::trackable_object& object, object_block& block) {
    const auto& groups = m_context.get_multi_tiered_zones();
    const auto now = groups.get_generation() + 1;
    if (block.carrier_checked != now) {
        block.carries_zones = groups.is_exists(object.get_uid());
        block.carrier_checked = now;
    }
    return block.carries_zones;
}

const carried_zones& zones_index::carried_by(const context::trackable_object& object, object_block& block) {
    auto& carried = block.carried;
    const auto& zones = m_context.get_zones();
    const auto& groups = m_context.get_multi_tiered_zones();
    const auto zones_now = zones.get_generation() + 1;
    const auto groups_now = groups.get_generation() + 1;
    if (carried.object == &object && carried.zones_checked == zones_now && carried.groups_checked == groups_now)
        return carried;
    carried.tiers.clear();
    carried.first_is_own = false;
    if (const auto group = groups.try_get(object.get_uid())) {
        for (const auto& zone_uid : group->zones()) {
            const auto zone = zones.try_get(zone_uid);
            carried.tiers.push_back(zone ? &*zone : nullptr);
        }
    }
    if (!carried.tiers.empty() && carried.tiers.front()) {
        const auto owner = carried.tiers.front()->get_trackable_object_uid();
        carried.first_is_own = owner && *owner == object.get_uid();
    }
    carried.object = &object;
    carried.zones_checked = zones_now;
    carried.groups_checked = groups_now;
    return carried;
}

template <typename F>
void zones_index::for_each_carried_zone(const context::trackable_object& object, object_block& block, F f) {
    if (!carries_zones(object, block))
        return;
    for (const context::zone* zone : carried_by(object, block).tiers) {
        if (zone)
            f(*zone);
    }
}

void zones_index::on_trackable_update(const context::trackable_object& object, object_block& block) {
    for_each_carried_zone(object, block, [this](const context::zone& zone) { on_zone_update(zone); });
}

void zones_index::on_trackable_delete(const context::trackable_object& object) {
    auto& block = m_blocks.of(object);
    m_objects_grid.remove(object, block);
    // The zones it carried stay, without a box: out of the trees, but still
    // in the lists of the objects that hold records in them, which owe them
    // a LEAVE now that they hold nothing.
    for_each_carried_zone(object, block, [this](const context::zone& zone) { m_trees.remove(zone); });
    // A record left behind (its clearing failed) keeps its lists for a
    // later object of the same uid.
    if (block.zones.related.empty() && block.zones.recorded.empty())
        m_blocks.erase(object.get_uid_bytes());
}

const object_zones::zone_list& zones_index::get_related_zones(const context::trackable_object& object) const {
    static const object_zones::zone_list none;
    const auto block = m_blocks.find(object);
    return block ? block->zones.related : none;
}

zones_index::zones zones_index::get_zones_by_position(const context::trackable_object& object) const {
    std::vector<const context::zone*> found;
    append_zones_by_position(object, found);
    zones result;
    for (const auto* zone : found)
        result.insert(*zone);
    return result;
}

void zones_index::append_zones_by_position(const context::trackable_object& object,
                                           std::vector<const context::zone*>& out) const {
    const auto& position = object.get_position() ? object.get_position() : object.get_last_position();
    if (!position)
        return;
    m_trees.query_all(position->get_x(), position->get_y(), [&](const context::zone* z) { out.push_back(z); });
}

void zones_index::append_candidates_by_position(const context::trackable_object& object,
                                                const recorded_zones& recorded,
                                                std::vector<const context::zone*>& out) const {
    const auto& position = object.get_position() ? object.get_position() : object.get_last_position();
    if (!position)
        return;
    const int x = position->get_x();
    const int y = position->get_y();
    const auto key = sublocation_key(object);
    // Zones of no sublocation match no object.
    if (key != 1)
        m_trees.query(key, x, y, [&](const context::zone* z) { out.push_back(z); });
    for (const context::zone* z : recorded) {
        const auto filed = m_trees.find(*z);
        if (filed && (filed->key != key || key == 1) && zone_trees::strictly_contains(filed->box, x, y))
            out.push_back(z);
    }
}

bool zones_index::append_objects_in(const std::vector<std::reference_wrapper<const context::zone>>& zones,
                                    std::vector<keyed_object>& out) const {
    m_searches.clear();
    for (const context::zone& zone : zones) {
        const auto box = envelope(zone, m_context);
        if (!box)
            return false;
        const auto key = sublocation_key(zone);
        // Zones of no sublocation match no object by position.
        if (key == 1)
            continue;
        const auto same = std::find_if(m_searches.begin(), m_searches.end(), [&](const search& s) { return s.key == key; });
        if (same == m_searches.end())
            m_searches.push_back({key, *box});
        else
            boost::geometry::expand(same->box, *box);
    }
    for (const auto& search : m_searches) {
        m_in_box.clear();
        if (!m_objects_grid.append_objects_in(search.box, search.key, m_in_box))
            return false;
        for (const context::trackable_object* object : m_in_box)
            out.push_back(key_of(*object));
    }
    return true;
}

void zones_index::on_save(const context::trackable_object_in_zone& record,
                          boost::optional<const context::zone&> zone) {
    if (!zone)
        return;
    // The record's key starts with the object's uid words: the same key as
    // parse_uid of its uid text, without decoding it again.
    const auto& key = record.get_uid();
    const uid object_key{key[0], key[1]};
    auto& entry = m_blocks.of(object_key).zones;
    auto& related = entry.related;
    if (in_play(record))
        add_zone(related, *zone);
    else
        erase_zone(related, *zone);
    // Keep-in zones are always evaluated and every object counts for them,
    // so only the other zones are worth these lists.
    if (zone->is_keep_in())
        return;
    auto& recorded = entry.recorded;
    auto& recorders = m_recorders[&*zone];
    const auto& object_uid = record.get_trackable_object_uid_text();
    const auto recorder = std::find_if(recorders.begin(), recorders.end(),
                                       [&](const context::interned_text& r) { return r.same_text(object_uid); });
    if (!has_state(record)) {
        erase_zone(recorded, *zone);
        if (recorder != recorders.end()) {
            *recorder = std::move(recorders.back());
            recorders.pop_back();
        }
    } else {
        add_zone(recorded, *zone);
        if (recorder == recorders.end())
            recorders.push_back(record.get_trackable_object_uid_text());
    }
}

const std::vector<context::interned_text>& zones_index::get_recorders(const context::zone& zone) const {
    static const std::vector<context::interned_text> none;
    const auto found = m_recorders.find(&zone);
    return found == m_recorders.end() ? none : found->second;
}

const zones_index::recorded_zones& zones_index::get_recorded_zones(const context::trackable_object& object) {
    return m_blocks.of(object).zones.recorded;
}

void zones_index::on_enter_event(const context::trackable_object_in_zone& record) {
    if (const auto zone = m_context.get_zones().try_get(record.get_zone_uid()))
        on_save(record, *zone);
}

void zones_index::on_leave_event(const context::trackable_object_in_zone& record) {
    if (const auto zone = m_context.get_zones().try_get(record.get_zone_uid()))
        on_save(record, *zone);
}

}  // namespace kel
