#include "zone_geometry.h"

#include "context/context.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <vector>

namespace kel {
namespace {

// A difference of two 32-bit coordinates needs 33 bits and the product of
// two such differences 66, beyond 64 at the limits of the int range.
__extension__ typedef __int128 wide;

// A sample position: wider than a point, so that the footprint around any
// 32-bit position is exact.
struct position {
    std::int64_t x;
    std::int64_t y;
};

struct offset {
    std::int64_t dx;
    std::int64_t dy;
};

// Corners of a regular hexagon of circumradius about 172, in test order.
constexpr std::array<offset, 6> footprint = {{{-150, -86}, {0, 172}, {150, -86}, {-150, 86}, {0, -172}, {150, 86}}};

// How far the footprint's corners reach from its centre on each axis.
constexpr offset reach_of(const std::array<offset, 6>& corners) {
    offset reach{0, 0};
    for (const offset& o : corners) {
        reach.dx = std::max(reach.dx, o.dx < 0 ? -o.dx : o.dx);
        reach.dy = std::max(reach.dy, o.dy < 0 ? -o.dy : o.dy);
    }
    return reach;
}
constexpr offset footprint_reach = reach_of(footprint);

constexpr std::int64_t envelope_margin = 500;

struct bounds {
    std::int64_t min_x;
    std::int64_t min_y;
    std::int64_t max_x;
    std::int64_t max_y;
};

// Signed crossing of the edge vi -> vj by the ray from p towards decreasing
// x: +1 for a downward edge with p on its left, -1 for an upward edge with p
// on its right. Horizontal edges and edges through p's line from one side
// only (both ends below, or both on or above) contribute nothing. `Product`
// holds the cross product exactly: 128 bits in general, 64 where the caller
// knows every difference involved fits in 31 bits.
template <typename Product>
int crossing(position p, const context::point& vi, const context::point& vj) {
    if (vi.get_y() == vj.get_y())
        return 0;
    const std::int64_t dyi = vi.get_y() - p.y;
    const std::int64_t dyj = vj.get_y() - p.y;
    if ((dyi < 0) == (dyj < 0))
        return 0;
    const std::int64_t edge_dx = std::int64_t{vj.get_x()} - vi.get_x();
    const std::int64_t edge_dy = std::int64_t{vj.get_y()} - vi.get_y();
    const Product cross = Product{vi.get_x() - p.x} * edge_dy - Product{dyi} * edge_dx;
    if (edge_dy < 0 && cross > 0)
        return 1;
    if (edge_dy > 0 && cross < 0)
        return -1;
    return 0;
}

// Only edges that cross p's line count, and the zone's slabs name a few
// edges that include all of those: the sum is the full winding number.
template <typename Product>
int winding_number(position p, const context::zone& z) {
    const auto& vertices = *z.get_points();
    const std::size_t last = vertices.size() - 1;
    int winding = 0;
    for (const std::uint32_t i : z.get_edge_slabs().near(p.y))
        winding += crossing<Product>(p, vertices[i == 0 ? last : i - 1], vertices[i]);
    return winding;
}

boost::optional<context::point> carrier_position(const context::zone& z, const context::context& ctx) {
    const auto carrier = z.find_carrier(ctx.get_trackable_objects());
    if (!carrier)
        return boost::none;
    return carrier->get_position();
}

// What a membership test of one zone needs beyond the position, read once:
// a footprint tests six positions against the same zone, and the shape, the
// vertex box, the arithmetic width and a circle's carrier are the same for
// all six.
class zone_test {
public:
    zone_test(const context::zone& z, const context::context& ctx) : m_zone(z) {
        switch (z.get_shape()) {
            case context::shape::POLYGON:
                init_polygon();
                return;
            case context::shape::CIRCLE:
                init_circle(ctx);
                return;
        }
    }

    // Whether p lies in the zone: outside a polygon's vertex box the winding
    // number is zero.
    bool contains(position p) const {
        switch (m_kind) {
            case kind::empty:
                return false;
            case kind::narrow_polygon:
                return in_box(p) && winding_number<std::int64_t>(p, m_zone) != 0;
            case kind::wide_polygon:
                return in_box(p) && winding_number<wide>(p, m_zone) != 0;
            case kind::circle:
                return in_circle(p);
        }
        return false;
    }

    // Whether no position within `reach` of p on either axis can lie in the
    // zone; false when that is not known cheaply.
    bool misses_around(position p, offset reach) const {
        if (m_kind == kind::empty)
            return true;
        if (m_kind == kind::circle)
            return false;
        return p.x + reach.dx < m_box.min_x || p.x - reach.dx > m_box.max_x || p.y + reach.dy < m_box.min_y ||
               p.y - reach.dy > m_box.max_y;
    }

private:
    enum class kind { empty, narrow_polygon, wide_polygon, circle };

    void init_polygon() {
        // A box means vertices; fewer than three enclose nothing.
        const auto& box = m_zone.get_points_bounds();
        if (!box || m_zone.get_points()->size() < 3)
            return;
        m_box = {box->min_x, box->min_y, box->max_x, box->max_y};
        // Inside the box every coordinate difference stays within the box's
        // extent, and a box narrower than 2^31 in both directions keeps each
        // product of two differences below 2^62: 64-bit arithmetic is exact
        // there, and cheaper than the 128 bits a box of any size needs.
        constexpr std::int64_t narrow = std::int64_t{1} << 31;
        m_kind = m_box.max_x - m_box.min_x < narrow && m_box.max_y - m_box.min_y < narrow ? kind::narrow_polygon
                                                                                         : kind::wide_polygon;
    }

    void init_circle(const context::context& ctx) {
        const auto centre = carrier_position(m_zone, ctx);
        if (!centre)
            return;
        m_centre = {centre->get_x(), centre->get_y()};
        m_radius = m_zone.get_radius().value_or(0);
        m_kind = kind::circle;
    }

    bool in_box(position p) const {
        return p.x >= m_box.min_x && p.x <= m_box.max_x && p.y >= m_box.min_y && p.y <= m_box.max_y;
    }

    bool in_circle(position p) const {
        const wide dx = p.x - m_centre.x;
        const wide dy = p.y - m_centre.y;
        const wide r = m_radius;
        return dx * dx + dy * dy < r * r;
    }

    const context::zone& m_zone;
    kind m_kind = kind::empty;
    bounds m_box{};
    position m_centre{};
    std::int64_t m_radius = 0;
};

boost::optional<bounds> polygon_bounds(const context::zone& z) {
    const auto vertices = z.get_points();
    if (!vertices || vertices->empty())
        return boost::none;
    const context::point& first = vertices->front();
    bounds result{first.get_x(), first.get_y(), first.get_x(), first.get_y()};
    for (const context::point& v : *vertices) {
        result.min_x = std::min<std::int64_t>(result.min_x, v.get_x());
        result.min_y = std::min<std::int64_t>(result.min_y, v.get_y());
        result.max_x = std::max<std::int64_t>(result.max_x, v.get_x());
        result.max_y = std::max<std::int64_t>(result.max_y, v.get_y());
    }
    return result;
}

boost::optional<bounds> circle_bounds(const context::zone& z, const context::context& ctx) {
    const auto centre = carrier_position(z, ctx);
    const auto radius = z.get_radius();
    if (!centre || !radius)
        return boost::none;
    const std::int64_t r = *radius < 0 ? -std::int64_t{*radius} : *radius;
    return bounds{centre->get_x() - r, centre->get_y() - r, centre->get_x() + r, centre->get_y() + r};
}

int clamp_to_int(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

index_box widened(const bounds& b) {
    return index_box(index_point(clamp_to_int(b.min_x - envelope_margin), clamp_to_int(b.min_y - envelope_margin)),
                     index_point(clamp_to_int(b.max_x + envelope_margin), clamp_to_int(b.max_y + envelope_margin)));
}

}  // namespace

bool point_in_zone(const context::point& p, const context::zone& z, const context::context& ctx) {
    return zone_test(z, ctx).contains({p.get_x(), p.get_y()});
}

polygon_state polygon_in_zone(const context::point& p, const context::zone& z, const context::context& ctx) {
    // The answer tells only all, none or some of the corners: the first
    // corner that disagrees with the first settles it as some, and the
    // corners are ordered so that disagreeing ones come early.
    const zone_test test(z, ctx);
    const position centre{p.get_x(), p.get_y()};
    if (test.misses_around(centre, footprint_reach))
        return polygon_state::outside;
    const auto corner_inside = [&](const offset& o) { return test.contains({centre.x + o.dx, centre.y + o.dy}); };
    const bool first_inside = corner_inside(footprint.front());
    for (std::size_t i = 1; i < footprint.size(); ++i) {
        if (corner_inside(footprint[i]) != first_inside)
            return polygon_state::partially_inside;
    }
    return first_inside ? polygon_state::inside : polygon_state::outside;
}

boost::optional<index_box> envelope(const context::zone& z, const context::context& ctx) {
    boost::optional<bounds> b;
    switch (z.get_shape()) {
        case context::shape::POLYGON:
            b = polygon_bounds(z);
            break;
        case context::shape::CIRCLE:
            b = circle_bounds(z, ctx);
            break;
    }
    if (!b)
        return boost::none;
    return widened(*b);
}

}  // namespace kel
