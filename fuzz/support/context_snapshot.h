#pragma once

#include "context/context.h"
#include "context/writable_context.h"

#include <set>
#include <string>
#include <vector>

namespace kel::fuzz {

// Copies of everything a context holds: its zones, trackable objects,
// multi-tiered zones and records of trackable objects in zones, taken field
// by field through their public constructors, getters and setters (the
// entities themselves are only movable). Lets a fuzz target load a site
// once and put it back between inputs instead of loading it again.
//
// A record's persistence bookkeeping is kept as far as it shows: a record
// saved as it is comes back saved as it is, any other as never saved.
class context_snapshot {
public:
    // The uids that came, went or changed in each store since it last held
    // what was captured.
    struct changes {
        std::set<std::string> zones;
        std::set<std::string> trackable_objects;
        std::set<std::string> multi_tiered_zones;
        void clear();
    };

    explicit context_snapshot(const context::context& context);

    // Makes every store of `context` hold what it held when captured, no
    // more and no less, given that only the objects named in `changed`
    // differ from that; the records of trackable objects in zones are all
    // put back. The stores tell their observers of each step, so call it
    // while nothing observes them but what may hear it all.
    void restore(context::writable_context& context, const changes& changed) const;

    const std::vector<context::zone>& zones() const { return m_zones; }
    const std::vector<context::trackable_object>& trackable_objects() const { return m_trackable_objects; }

private:
    std::vector<context::zone> m_zones;
    std::vector<context::trackable_object> m_trackable_objects;
    std::vector<context::multi_tiered_zone> m_multi_tiered_zones;
    std::vector<context::trackable_object_in_zone> m_records;
};

}  // namespace kel::fuzz
