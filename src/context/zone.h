#pragma once

#include "globals.h"

#include "context/edge_slabs.h"
#include "context/interned_text.h"
#include "context/point.h"

#include "context/remembered_lookup.h"
#include "context/trackable_object.h"

#include <core/only_movable.h>

#include <boost/optional.hpp>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kel::context {

enum class shape : std::int32_t { POLYGON = 0, CIRCLE = 1 };

// A zone of the site: a polygon, or a circle carried by a trackable object.
// A plain value owned by the zones repository; moved in, never copied. The
// uid never changes; is_keep_in() always agrees with the type name.
class zone : public libs::core::only_movable {
public:
    using shape = ::kel::context::shape;

    zone(std::string uid,
         boost::optional<std::int32_t> radius,
         std::string project_uid,
         boost::optional<std::string> sublocation_uid,
         boost::optional<std::string> trackable_object_uid,
         boost::optional<std::vector<point>> points,
         bool active,
         shape shape,
         std::string type_name,
         bool default_allowed,
         std::set<std::string> exceptions,
         std::set<std::string> exceptions_groups);

    const std::string& get_uid() const { return m_uid; }
    // parse_uid of the uid, decoded once: every evaluation of a membership
    // record needs it.
    const kel::uid& get_uid_bytes() const { return m_uid_bytes; }
    // The shared texts of the uid and the type name, for the zone's records.
    const interned_text& get_uid_text() const { return m_pinned_uid; }
    const interned_text& get_type_name_text() const { return m_pinned_type_name; }
    // Radius of a circle zone in site units; none for zones without one.
    boost::optional<std::int32_t> get_radius() const { return m_radius; }
    const std::string& get_project_uid() const { return m_project_uid; }
    boost::optional<const std::string&> get_sublocation_uid() const;
    // std::hash of the sublocation uid, kept with it (0 without one), as a
    // trackable object keeps its own: the index files zones by it.
    std::size_t get_sublocation_hash() const { return m_sublocation_hash; }
    // Uid of the trackable object that carries the zone; a circle zone is
    // centred on that object's current position.
    boost::optional<const std::string&> get_trackable_object_uid() const;
    // Vertices in order; the closing edge back to the first is implied.
    boost::optional<const std::vector<point>&> get_points() const;
    // The smallest box around the vertices, kept with them: no vertex list
    // or an empty one has none. A point outside it is outside the polygon,
    // which spares most membership tests the walk along the edges.
    struct bounds {
        int min_x, min_y, max_x, max_y;
    };
    const boost::optional<bounds>& get_points_bounds() const { return m_points_bounds; }
    // The polygon's edges by horizontal slab, for its winding numbers.
    const edge_slabs& get_edge_slabs() const { return m_edge_slabs; }
    // The carrying object as `objects` holds it now, if any: one carrier
    // move evaluates many pairs of the zone, each of which needs it.
    boost::optional<const trackable_object&> find_carrier(const remembered_lookup<trackable_object>::repository& objects) const;
    bool get_active() const { return m_active; }
    shape get_shape() const { return m_shape; }
    const std::string& get_type_name() const { return m_type_name; }
    bool is_keep_in() const { return m_is_keep_in; }
    bool get_default_allowed() const { return m_default_allowed; }
    // Uids of trackable objects for which the default rule is reversed.
    const std::set<std::string>& get_exceptions() const { return m_exceptions; }
    // Whether `uid` (with `uid_bytes` = parse_uid(uid)) is among the
    // exceptions. The decoded words are compared first: texts that differ
    // there differ, so the texts are compared only on a match.
    bool is_exception(const std::string& uid, const kel::uid& uid_bytes) const;
    // Uids of groups whose members are exceptions to the default rule.
    const std::set<std::string>& get_exceptions_groups() const { return m_exceptions_groups; }

    void set_radius(boost::optional<std::int32_t> radius) { m_radius = radius; }
    void set_project_uid(std::string project_uid) { m_project_uid = std::move(project_uid); }
    void set_sublocation_uid(boost::optional<std::string> uid);
    void set_trackable_object_uid(boost::optional<std::string> uid) {
        m_trackable_object_uid = std::move(uid);
        m_carrier.forget();
    }
    void set_points(boost::optional<std::vector<point>> points);
    void set_active(bool active) { m_active = active; }
    void set_shape(shape shape) { m_shape = shape; }
    void set_type_name(std::string type_name);
    void set_default_allowed(bool default_allowed) { m_default_allowed = default_allowed; }
    void set_exceptions(std::set<std::string> exceptions);
    void set_exceptions_groups(std::set<std::string> groups) { m_exceptions_groups = std::move(groups); }

private:
    std::string m_uid;
    kel::uid m_uid_bytes;
    // The uid's shared text, held while the zone is: the records of the
    // zone come and go, and would otherwise make and drop it each time.
    interned_text m_pinned_uid;
    boost::optional<std::int32_t> m_radius;
    std::string m_project_uid;
    boost::optional<std::string> m_sublocation_uid;
    std::size_t m_sublocation_hash = 0;
    boost::optional<std::string> m_trackable_object_uid;
    boost::optional<std::vector<point>> m_points;
    boost::optional<bounds> m_points_bounds;
    edge_slabs m_edge_slabs;
    bool m_active;
    shape m_shape;
    std::string m_type_name;
    // Pinned as the uid is: a type's records may all go at once, and the
    // next would make its text again.
    interned_text m_pinned_type_name;
    bool m_is_keep_in;
    bool m_default_allowed;
    std::set<std::string> m_exceptions;
    std::vector<kel::uid> m_exceptions_bytes;
    std::set<std::string> m_exceptions_groups;
    remembered_lookup<trackable_object> m_carrier;
};

}  // namespace kel::context
