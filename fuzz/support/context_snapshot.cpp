#include "support/context_snapshot.h"

#include "core/timestamp.h"

#include <algorithm>
#include <utility>

namespace kel::fuzz {

namespace {

template <typename T>
boost::optional<T> owned(boost::optional<const T&> value) {
    return value ? boost::optional<T>(*value) : boost::none;
}

context::zone copy_of(const context::zone& z) {
    return context::zone(z.get_uid(), z.get_radius(), z.get_project_uid(), owned(z.get_sublocation_uid()),
                         owned(z.get_trackable_object_uid()), owned(z.get_points()), z.get_active(), z.get_shape(),
                         z.get_type_name(), z.get_default_allowed(), z.get_exceptions(), z.get_exceptions_groups());
}

context::trackable_object copy_of(const context::trackable_object& o) {
    context::trackable_object copy(o.get_uid(), o.get_uid_bytes(), o.get_project_uid(), o.get_responsive(),
                                   o.get_associated(), o.get_position(), owned(o.get_sublocation_uid()),
                                   o.get_groups());
    if (o.get_last_position())
        copy.set_last_position(*o.get_last_position());
    return copy;
}

context::multi_tiered_zone copy_of(const context::multi_tiered_zone& m) {
    // Built with one member, as the updater builds it: there is always one.
    context::multi_tiered_zone copy(m.get_uid(), *m.zones().begin());
    for (const auto& member : m.zones())
        copy.add_zone(member);
    return copy;
}

context::trackable_object_in_zone copy_of(const context::trackable_object_in_zone& r) {
    context::trackable_object_in_zone copy(r.get_uid(), r.get_trackable_object_uid(), r.get_zone_uid(),
                                           r.get_project_uid(), r.get_sublocation_uid(), r.get_zone_type_name());
    copy.set_in_zone(r.is_in_zone());
    copy.set_event_generated(r.is_event_generated());
    copy.set_leave_generated(r.is_leave_generated());
    copy.set_in_debouncing_state(r.is_in_debouncing_state());
    if (r.is_saved_as_is())
        copy.mark_saved();
    return copy;
}

// Removes each changed object that was not captured and puts back each
// one that was. The stores are few objects long: a walk finds one.
template <typename T>
void put_back(libs::context_utils::objects_repository<T>& store, const std::vector<T>& captured,
              const std::set<std::string>& changed, libs::core::timestamp ts) {
    for (const auto& uid : changed) {
        const auto kept =
            std::find_if(captured.begin(), captured.end(), [&](const T& object) { return object.get_uid() == uid; });
        if (kept == captured.end())
            store.remove(uid, ts);
        else
            store.update_or_add(copy_of(*kept), ts);
    }
}

}  // namespace

context_snapshot::context_snapshot(const context::context& context) {
    for (const context::zone& z : context.get_zones().get_range())
        m_zones.push_back(copy_of(z));
    for (const context::trackable_object& o : context.get_trackable_objects().get_range())
        m_trackable_objects.push_back(copy_of(o));
    for (const context::multi_tiered_zone& m : context.get_multi_tiered_zones().get_range())
        m_multi_tiered_zones.push_back(copy_of(m));
    for (const auto& entry : context.get_trackable_objects_in_zones())
        m_records.push_back(copy_of(entry.second));
}

void context_snapshot::changes::clear() {
    zones.clear();
    trackable_objects.clear();
    multi_tiered_zones.clear();
}

void context_snapshot::restore(context::writable_context& context, const changes& changed) const {
    const auto now = libs::core::timestamp::current_time();
    put_back(context.take_zones(), m_zones, changed.zones, now);
    put_back(context.take_trackable_objects(), m_trackable_objects, changed.trackable_objects, now);
    put_back(context.take_multi_tiered_zones(), m_multi_tiered_zones, changed.multi_tiered_zones, now);
    // Filled in the captured order into a new map (clear() starts one): a
    // map that kept its buckets would iterate in an order that depends on
    // what the last input put in.
    auto& records = context.take_trackable_objects_in_zones();
    records.clear();
    for (const auto& r : m_records)
        records.emplace(r.get_uid(), copy_of(r));
}

}  // namespace kel::fuzz
