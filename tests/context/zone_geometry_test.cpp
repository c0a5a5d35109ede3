#include "zone_geometry.h"

#include "context/writable_context.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using kel::polygon_state;
using kel::context::point;
using kel::context::shape;
using kel::context::zone;
using corners = std::array<int, 4>;
using outline = std::vector<std::pair<int, int>>;

constexpr int min_int = std::numeric_limits<int>::min();
constexpr int max_int = std::numeric_limits<int>::max();

std::vector<point> points_of(const outline& vertices) {
    std::vector<point> points;
    for (const auto& v : vertices)
        points.emplace_back(v.first, v.second, 0);
    return points;
}

class zone_geometry_test : public ::testing::Test {
protected:
    const zone& polygon(const outline& vertices) {
        return add_zone(shape::POLYGON, boost::none, boost::none, points_of(vertices));
    }
    const zone& polygon_without_points() { return add_zone(shape::POLYGON, boost::none, boost::none, boost::none); }
    // A circle carried by the trackable object `carrier`.
    const zone& circle(const std::string& carrier, boost::optional<int> radius) {
        return add_zone(shape::CIRCLE, radius, carrier, boost::none);
    }
    void place(const std::string& uid, boost::optional<point> position) {
        m_context.take_trackable_objects().update_or_add(
            kel::context::trackable_object(uid, kel::parse_uid(uid), "project", true, true, position, boost::none,
                                           {}),
            kel::libs::core::timestamp());
    }
    void place(const std::string& uid, int x, int y) { place(uid, point(x, y, 0)); }

    bool contains(const zone& z, int x, int y) const { return kel::point_in_zone(point(x, y, 0), z, m_context); }
    polygon_state footprint(const zone& z, int x, int y) const {
        return kel::polygon_in_zone(point(x, y, 0), z, m_context);
    }
    corners envelope(const zone& z) const {
        const auto box = kel::envelope(z, m_context);
        if (!box) {
            ADD_FAILURE() << "no envelope";
            return {};
        }
        return {box->min_corner().get<0>(), box->min_corner().get<1>(), box->max_corner().get<0>(),
                box->max_corner().get<1>()};
    }
    bool has_envelope(const zone& z) const { return static_cast<bool>(kel::envelope(z, m_context)); }

    kel::context::writable_context m_context;

private:
    const zone& add_zone(shape s, boost::optional<int> radius, boost::optional<std::string> carrier,
                         boost::optional<std::vector<point>> points) {
        const std::string uid = "zone" + std::to_string(m_zones++);
        return m_context.take_zones().add(zone(uid, radius, "project", boost::none, std::move(carrier),
                                               std::move(points), true, s, "restricted", false, {}, {}),
                                          kel::libs::core::timestamp());
    }

    int m_zones = 0;
};

// A polygon covers its right and upper edges but not its left and lower
// ones, whatever the order of its vertices, and a repeated first vertex
// changes nothing; a concave one leaves out its notch, an area wound twice
// is inside by the non-zero rule, and fewer than three vertices hold
// nothing. A circle is open. At the int limits nothing overflows or wraps.
TEST_F(zone_geometry_test, zones_hold_what_their_edge_and_winding_rules_say) {
    place("carrier", 0, 0);
    place("at_max", max_int, 0);
    place("at_min", min_int, min_int);
    struct row {
        const zone* z;
        outline in;
        outline out;
    };
    const outline square_in{{5, 5}, {10, 10}, {10, 5}, {5, 10}};
    const outline square_out{{0, 5}, {5, 0}, {0, 0}, {10, 0}, {0, 10}, {15, 5}, {5, 11}};
    const outline none{{5, 5}};
    const std::vector<row> rows{
        {&polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}}), square_in, square_out},
        {&polygon({{0, 10}, {10, 10}, {10, 0}, {0, 0}}), square_in, square_out},
        {&polygon({{10, 10}, {0, 10}, {0, 0}, {10, 0}}), square_in, square_out},
        {&polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}), square_in, square_out},
        {&polygon({{0, 0}, {30, 0}, {30, 30}, {20, 30}, {20, 10}, {10, 10}, {10, 30}, {0, 30}}),
         {{5, 20}, {25, 20}, {15, 5}}, {{15, 20}}},
        {&polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}, {0, 10}}), {{5, 5}}, {}},
        {&polygon({}), {}, none},
        {&polygon({{0, 0}}), {}, none},
        {&polygon({{0, 0}, {10, 10}}), {}, none},
        {&polygon_without_points(), {}, none},
        {&circle("carrier", 100), {{99, 0}, {60, 79}}, {{100, 0}, {60, 80}}},
        {&polygon({{min_int, min_int}, {max_int, min_int}, {max_int, max_int}, {min_int, max_int}}),
         {{0, 0}, {max_int, max_int}, {min_int + 1, min_int + 1}}, {{min_int, 0}, {0, min_int}}},
        {&polygon({{max_int - 10, max_int - 10}, {max_int, max_int - 10}, {max_int, max_int}, {max_int - 10, max_int}}),
         {{max_int, max_int}}, {{min_int, min_int}, {min_int, max_int - 5}}},
        {&circle("at_max", 100), {}, {{min_int, 0}}},
        {&circle("at_min", max_int), {{min_int + 1000, min_int}}, {{max_int, max_int}}},
    };
    for (const auto& r : rows) {
        for (const auto& [x, y] : r.in)
            EXPECT_TRUE(contains(*r.z, x, y)) << "row " << &r - rows.data() << ": " << x << "," << y;
        for (const auto& [x, y] : r.out)
            EXPECT_FALSE(contains(*r.z, x, y)) << "row " << &r - rows.data() << ": " << x << "," << y;
    }
}

// The brute-force non-zero winding rule over every edge, as the oracle of
// the edge index behind point_in_zone.
bool winds_around(const outline& vertices, std::int64_t x, std::int64_t y) {
    __extension__ typedef __int128 wide;
    int winding = 0;
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const auto& [xi, yi] = vertices[i == 0 ? vertices.size() - 1 : i - 1];
        const auto& [xj, yj] = vertices[i];
        if ((yi < y) == (yj < y))
            continue;
        const wide cross = wide{xi - x} * (std::int64_t{yj} - yi) - wide{std::int64_t{yi} - y} * (std::int64_t{xj} - xi);
        winding += yj < yi ? (cross > 0) : -(cross < 0);
    }
    return vertices.size() >= 3 && winding != 0;
}

// Vertices on a coarse lattice give horizontal edges, repeated vertices and
// positions on a vertex's line; the lattice is stretched up to the int
// limits, and the polygons are reshaped in place too.
TEST_F(zone_geometry_test, random_polygons_hold_exactly_the_positions_their_winding_number_says) {
    std::mt19937 random(20261209);
    const std::array<std::int64_t, 3> scales{1, 1000, 2 * (std::int64_t{max_int} / 8)};
    const auto lattice = [&](std::int64_t scale) {
        return static_cast<int>(std::uniform_int_distribution<int>(-4, 4)(random) * scale);
    };
    const auto random_outline = [&](std::int64_t scale) {
        outline vertices;
        const int n = std::uniform_int_distribution<int>(3, 60)(random);
        for (int i = 0; i < n; ++i)
            vertices.emplace_back(lattice(scale), lattice(scale));
        return vertices;
    };
    for (int round = 0; round < 300; ++round) {
        const auto scale = scales[static_cast<std::size_t>(round) % scales.size()];
        auto vertices = random_outline(scale);
        const zone& z = polygon(vertices);
        for (int reshaped = 0; reshaped < 2; ++reshaped) {
            for (int k = 0; k < 200; ++k) {
                const int x = lattice(scale) + std::uniform_int_distribution<int>(-1, 1)(random);
                const int y = lattice(scale) + std::uniform_int_distribution<int>(-1, 1)(random);
                ASSERT_EQ(contains(z, x, y), winds_around(vertices, x, y))
                    << "round " << round << " at " << x << "," << y;
            }
            vertices = random_outline(scale);
            m_context.take_zones().try_get(z.get_uid(), kel::libs::core::timestamp())->set_points(points_of(vertices));
        }
    }
}

TEST_F(zone_geometry_test, circle_without_carrier_position_or_radius_contains_nothing_and_has_no_envelope) {
    place("lost", boost::none);
    place("carrier", 0, 0);
    for (const zone* z : {&circle("lost", 100), &circle("unknown", 100), &circle("carrier", boost::none)}) {
        EXPECT_FALSE(contains(*z, 0, 0));
        EXPECT_EQ(footprint(*z, 0, 0), polygon_state::outside);
        EXPECT_FALSE(has_envelope(*z));
    }
}

// A zone narrower than the footprint around its centre is missed, though
// the centre is inside.
TEST_F(zone_geometry_test, footprint_is_inside_deep_in_outside_far_away_and_partial_near_an_edge) {
    const zone& z = polygon({{0, 0}, {10000, 0}, {10000, 10000}, {0, 10000}});
    EXPECT_EQ(footprint(z, 5000, 5000), polygon_state::inside);
    EXPECT_EQ(footprint(z, 20000, 20000), polygon_state::outside);
    EXPECT_EQ(footprint(z, 100, 5000), polygon_state::partially_inside);
    EXPECT_EQ(footprint(z, 5000, 9900), polygon_state::partially_inside);

    const zone& small = polygon({{0, 0}, {100, 0}, {100, 100}, {0, 100}});
    EXPECT_TRUE(contains(small, 50, 50));
    EXPECT_EQ(footprint(small, 50, 50), polygon_state::outside);
    const zone& strip = polygon({{-1000, -10}, {1000, -10}, {1000, 10}, {-1000, 10}});
    EXPECT_EQ(footprint(strip, 0, 0), polygon_state::outside);
    const zone& band = polygon({{-1000, -100}, {1000, -100}, {1000, 100}, {-1000, 100}});
    EXPECT_EQ(footprint(band, 0, 0), polygon_state::partially_inside);
}

// A zone's envelope is its bounds widened by 500, a negative radius
// spanning its magnitude as the membership test takes it; near the int
// limits it is clamped to the int range.
TEST_F(zone_geometry_test, envelope_is_the_bounds_widened_by_500_and_clamped_to_the_int_range) {
    place("carrier", 1000, 2000);
    place("origin", 0, 0);
    place("corner", max_int - 10, min_int + 10);
    const zone& negative = circle("origin", -100);
    EXPECT_TRUE(contains(negative, 99, 0));
    const std::vector<std::pair<const zone*, corners>> rows{
        {&polygon({{0, 0}, {10, 20}, {5, 5}}), {-500, -500, 510, 520}},
        {&polygon({{7, 8}}), {-493, -492, 507, 508}},
        {&circle("carrier", 100), {400, 1400, 1600, 2600}},
        {&negative, {-600, -600, 600, 600}},
        {&polygon({{min_int, min_int + 100}, {max_int, max_int - 100}, {0, 0}}), {min_int, min_int, max_int, max_int}},
        {&polygon({{min_int + 1000, max_int - 1000}}), {min_int + 500, max_int - 1500, min_int + 1500, max_int - 500}},
        {&circle("corner", 1000), {max_int - 1510, min_int, max_int, min_int + 1510}},
        {&circle("corner", min_int), {-511, min_int, max_int, 510}},
    };
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(envelope(*rows[i].first), rows[i].second) << "row " << i;
}

TEST_F(zone_geometry_test, footprint_at_the_int_limits_neither_overflows_nor_wraps_around) {
    const zone& whole = polygon({{min_int, min_int}, {max_int, min_int}, {max_int, max_int}, {min_int, max_int}});
    EXPECT_EQ(footprint(whole, 0, 0), polygon_state::inside);
    EXPECT_EQ(footprint(whole, max_int, max_int), polygon_state::partially_inside);
    EXPECT_EQ(footprint(whole, min_int, min_int), polygon_state::partially_inside);
    const zone& near_max = polygon({{max_int - 10, max_int - 10}, {max_int, max_int - 10}, {max_int, max_int},
                                    {max_int - 10, max_int}});
    EXPECT_EQ(footprint(near_max, min_int, min_int), polygon_state::outside);
    place("at_min", min_int, min_int);
    EXPECT_EQ(footprint(circle("at_min", max_int), max_int, max_int), polygon_state::outside);
}

}  // namespace
