#include "engine_fixture.h"

#include "zone_geometry.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using kel::test::numbered;
using kel::test::of_type;

class zones_index_test : public ::testing::Test, public kel::test::engine_fixture {
protected:
    // Zone uids found by position for `object`, in uid order.
    std::set<std::string> found(const std::string& object) {
        std::set<std::string> uids;
        for (const kel::context::zone& z : m_index.get_zones_by_position(m_context.get_trackable_objects().get(object)))
            uids.insert(z.get_uid());
        return uids;
    }
    // Zone uids offered to the position path for `object`, which holds
    // records in the zones `recorded`.
    std::set<std::string> candidates(const std::string& object, const std::vector<std::string>& recorded = {}) {
        kel::zones_index::recorded_zones held;
        for (const auto& uid : recorded)
            held.push_back(&m_context.get_zones().get(uid));
        std::vector<const kel::context::zone*> out;
        m_index.append_candidates_by_position(m_context.get_trackable_objects().get(object), held, out);
        std::set<std::string> uids;
        for (const kel::context::zone* z : out)
            uids.insert(z->get_uid());
        return uids;
    }
    using uids = std::set<std::string>;
    // Uids of the objects of the zone's floor whose position lies in its box.
    uids objects_in(const std::string& zone) {
        std::vector<kel::zones_index::keyed_object> out;
        m_index.append_objects_in({std::cref(m_context.get_zones().get(zone))}, out);
        uids found;
        for (const auto& keyed : out)
            found.insert(keyed.object->get_uid());
        return found;
    }
};

// A changed zone is filed anew, by its new box and its new floor; a change
// that keeps both leaves it where it is.
TEST_F(zones_index_test, moved_zone_is_found_only_at_its_new_place_and_offered_on_its_new_floor_only) {
    rectangle("room", 0, 0, 1000, 1000);
    object("tagA");
    object("tagB", "sl02");
    move("tagA", 500, 500);
    move("tagB", 5500, 5200);
    change_zone("room", [](kel::context::zone& z) {
        z.set_points(std::vector<kel::context::point>{{5000, 5000, 0}, {6000, 5000, 0}, {6000, 6000, 0}});
    });
    EXPECT_EQ(found("tagA"), uids{});
    move("tagA", 5500, 5200);
    EXPECT_EQ(found("tagA"), uids{"room"});
    EXPECT_EQ(candidates("tagA"), uids{"room"});
    change_zone("room", [](kel::context::zone& z) { z.set_sublocation_uid(std::string("sl02")); });
    EXPECT_EQ(candidates("tagA"), uids{}) << "same box, yet filed anew";
    EXPECT_EQ(candidates("tagB"), uids{"room"});
    change_zone("room", [](kel::context::zone& z) { z.set_active(false); });
    EXPECT_EQ(found("tagA"), uids{"room"}) << "an unchanged box stays filed";
}

// A carried circle's box is the square of its radius plus 500 around the
// carrier; a step shorter than the circle is not re-filed in the tree, yet
// the circle must be found by where it is now, not by where it was filed.
TEST_F(zones_index_test, carried_circle_is_found_by_its_current_box_however_far_it_moved) {
    object("car1");
    move("car1", 0, 0);
    circle("circ", "car1", 1000);
    object("tagA");
    struct step {
        int dx;
        const char* what;
    };
    int x = 0;
    for (const step s : {step{100, "a short step"}, step{-700, "a step back"}, step{1400, "a long step"},
                         step{90000, "a jump"}, step{-30, "a step after the jump"}}) {
        const int before = x;
        x += s.dx;
        move("car1", x, 0);
        move("tagA", x + 1499, 0);
        EXPECT_EQ(found("tagA"), uids{"circ"}) << s.what << ": just inside the current box";
        move("tagA", x + 1500, 0);
        EXPECT_EQ(found("tagA"), uids{}) << s.what << ": on its edge";
        move("tagA", before, 0);
        EXPECT_EQ(found("tagA"), std::abs(s.dx) < 1500 ? uids{"circ"} : uids{}) << s.what << ": at its last place";
        move("tagA", x - 1500, 0);
        EXPECT_EQ(found("tagA"), uids{}) << s.what << ": on the other edge";
    }
}

// An object meets the zones of its floor and those holding its records,
// around its position; one without a floor, and a zone without one, meet
// through records only.
TEST_F(zones_index_test, candidates_are_the_zones_of_the_objects_floor_and_those_holding_its_records) {
    rectangle("room", 0, 0, 1000, 1000, of_type("room", "sl01"));
    rectangle("kpn1", 0, 0, 1000, 1000, of_type("keep_in", "sl01"));
    rectangle("upst", 0, 0, 1000, 1000, of_type("room", "sl02"));
    rectangle("kpn2", 0, 0, 1000, 1000, of_type("keep_in", "sl02"));
    rectangle("nowh", 0, 0, 1000, 1000);
    change_zone("nowh", [](kel::context::zone& z) { z.set_sublocation_uid(boost::none); });
    object("tagA", "sl01");
    move("tagA", 500, 500);
    EXPECT_EQ(found("tagA"), (uids{"room", "kpn1", "upst", "kpn2", "nowh"}));
    EXPECT_EQ(candidates("tagA"), (uids{"room", "kpn1"}));
    EXPECT_EQ(candidates("tagA", {"upst", "nowh"}), (uids{"room", "kpn1", "upst", "nowh"}));
    move("tagA", 5000, 5000);
    EXPECT_EQ(candidates("tagA", {"upst"}), uids{}) << "a held zone still has to be around the position";
    move("tagA", 500, 500);
    set_sublocation("tagA", boost::none);
    EXPECT_EQ(candidates("tagA"), uids{});
    EXPECT_EQ(candidates("tagA", {"room", "nowh"}), (uids{"room", "nowh"}));
}

// Tags that walk over thousands of cells leave most of them empty behind;
// the tags that stay put are still found by a box, those of its floor only.
TEST_F(zones_index_test, objects_staying_put_are_found_while_others_walk_over_thousands_of_cells) {
    object("car1");
    move("car1", 0, 0);
    circle("circ", "car1", 3000);
    uids inside{"car1"};
    for (int i = 0; i < 6; ++i) {
        const std::string uid = numbered('s', i);
        object(uid, i % 3 == 0 ? "sl02" : "sl01");
        move(uid, i % 2 == 0 ? 2500 : 9000, i * 400);
        if (i % 2 == 0 && i % 3 != 0)
            inside.insert(uid);
    }
    for (int i = 0; i < 30; ++i)
        object(numbered('w', i));
    for (int step = 0; step < 200; ++step) {
        for (int i = 0; i < 30; ++i)
            move(numbered('w', i), i * 100000 + step * 9000, -step * 9000);
    }
    EXPECT_EQ(objects_in("circ"), inside);
}

// Whatever the zones and positions, the candidates offered for an object
// must include every zone whose geometry contains it, or an event is lost.
// Every tenth zone is large, one carried circle too, and the carrier keeps
// moving.
TEST_F(zones_index_test, never_misses_a_zone_that_contains_the_position) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> coordinate(-20000, 20000);
    std::uniform_int_distribution<int> size(1, 6000);
    std::uniform_int_distribution<int> large(30000, 80000);
    std::uniform_int_distribution<int> vertices(3, 12);
    for (int i = 0; i < 300; ++i) {
        const int cx = coordinate(random), cy = coordinate(random);
        const int extent = i % 10 == 0 ? large(random) : size(random);
        std::vector<kel::context::point> points;
        const int n = vertices(random);
        std::uniform_int_distribution<int> offset(-extent, extent);
        for (int v = 0; v < n; ++v)
            points.emplace_back(cx + offset(random), cy + offset(random), 0);
        polygon(numbered('z', i), points, of_type("room", i % 3 ? "sl01" : "sl02"));
    }
    object("car1");
    move("car1", 0, 0);
    for (int i = 0; i < 20; ++i) {
        circle(numbered('c', i), "car1", i == 0 ? large(random) : size(random));
    }
    move("car1", 100, 100);
    object("tagA");
    int hits = 0;
    for (int step = 0; step < 3000; ++step) {
        if (step % 10 == 0)
            move("car1", coordinate(random), coordinate(random));
        move("tagA", coordinate(random), coordinate(random));
        const auto& tag = m_context.get_trackable_objects().get("tagA");
        const auto all = found("tagA");
        const auto own_floor = candidates("tagA");
        for (const kel::context::zone& z : m_context.get_zones().get_range()) {
            if (kel::point_in_zone(*tag.get_position(), z, m_context)) {
                ++hits;
                ASSERT_TRUE(all.count(z.get_uid())) << z.get_uid() << " missed at step " << step;
                if (z.get_sublocation_uid() && *z.get_sublocation_uid() == "sl01") {
                    ASSERT_TRUE(own_floor.count(z.get_uid())) << z.get_uid() << " not offered at step " << step;
                }
            }
        }
    }
    EXPECT_GT(hits, 1000) << "the positions must fall inside zones often enough to mean something";
}

}  // namespace
