#pragma once

#include "context/multi_tiered_zone.h"
#include "context/trackable_object.h"
#include "context/trackable_object_in_zone.h"
#include "context/trackable_objects_in_zones.h"
#include "context/zone.h"
#include "globals.h"

#include <context_utils/objects_repository.h>


namespace kel::context {

using multi_tiered_zones = libs::context_utils::objects_repository<multi_tiered_zone>;
using zones = libs::context_utils::objects_repository<zone>;
using trackable_objects = libs::context_utils::objects_repository<trackable_object>;

// The in-memory model of the site: one store per entity kind, all empty at
// construction. It owns its entities; components hold references into it
// and must not outlive it. Subscriptions and writable handles refer to the
// stores, so the context is neither copyable nor movable.
//
// Zones and trackable objects are read-only here; writable_context opens
// them to the components that drive the model.
class context {
public:
    context();
    virtual ~context();
    context(const context&) = delete;
    context& operator=(const context&) = delete;

    const trackable_objects_in_zones& get_trackable_objects_in_zones() const { return m_trackable_objects_in_zones; }
    trackable_objects_in_zones& take_trackable_objects_in_zones() { return m_trackable_objects_in_zones; }
    const multi_tiered_zones& get_multi_tiered_zones() const { return m_multi_tiered_zones; }
    multi_tiered_zones& take_multi_tiered_zones() { return m_multi_tiered_zones; }
    const zones& get_zones() const { return m_zones; }
    const trackable_objects& get_trackable_objects() const { return m_trackable_objects; }

protected:
    zones& take_zones() { return m_zones; }
    trackable_objects& take_trackable_objects() { return m_trackable_objects; }

private:
    trackable_objects_in_zones m_trackable_objects_in_zones;
    multi_tiered_zones m_multi_tiered_zones;
    zones m_zones;
    trackable_objects m_trackable_objects;
};

}  // namespace kel::context
