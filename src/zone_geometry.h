#pragma once

#include <boost/geometry/core/cs.hpp>
#include <boost/geometry/geometries/box.hpp>
#include <boost/geometry/geometries/point.hpp>
#include <boost/optional.hpp>

#include <cstdint>

// The geometry on which every zone decision rests. Only x and y take part;
// all arithmetic is integral, and differences and offsets are taken wide
// enough that no 32-bit input can overflow. A circle zone has no centre of
// its own: it is centred on the current position of the trackable object
// named by its trackable_object_uid, looked up in the given context, and so
// moves with that object. Nothing here changes the context.
namespace kel {
namespace context {
class context;
class point;
class zone;
}  // namespace context

// How the footprint around a position lies against a zone.
enum class polygon_state : std::int32_t { inside = 0, outside = 1, partially_inside = 2 };

using index_point = boost::geometry::model::point<int, 2, boost::geometry::cs::cartesian>;
using index_box = boost::geometry::model::box<index_point>;

// Whether `p` lies in `z`.
// Polygon: false without at least 3 vertices; otherwise the non-zero winding
// rule (a self-overlapping part counts), where a point on an edge gets no
// credit from that edge. For an axis-aligned rectangle (x0, y0)-(x1, y1) the
// covered set is x0 < x <= x1 and y0 < y <= y1, whatever the vertex order.
// Circle: the open disc of the zone's radius around the carrier's position
// (a point at exactly the radius is outside); false when the carrier, its
// position or the radius is missing.
bool point_in_zone(const context::point& p, const context::zone& z, const context::context& ctx);

// How the hexagon of six sample points around `p` (circumradius about 172,
// p itself not sampled) lies against `z`: all six in the zone is inside,
// none is outside, anything else is partially_inside. A zone smaller than
// the hexagon is never inside, even when it contains p.
polygon_state polygon_in_zone(const context::point& p, const context::zone& z, const context::context& ctx);

// The box under which `z` is filed in the spatial index: the vertices'
// bounds of a polygon (any non-empty vertex list), or the square around a
// circle's carrier position, widened by 500 on every side; none when the
// geometry, the carrier, its position or the radius is missing. A negative
// radius spans its magnitude, as in point_in_zone. Widened coordinates
// beyond the int range are clamped to it, so a position with a coordinate
// exactly at INT_MIN or INT_MAX lies on the edge of such a box rather than
// strictly inside it.
boost::optional<index_box> envelope(const context::zone& z, const context::context& ctx);

}  // namespace kel
