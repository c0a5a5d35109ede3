// The position path skips keep-in pairs it knows to be settled. Two engines
// live through the same random story; before each step the reference engine
// is made to forget what it knows (an object created and deleted moves its
// epoch), so it evaluates every keep-in zone at every position. Both must
// decide the same events, in the same order, and store the same records.
#include "engine_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

using kel::test::engine_fixture;
using kel::test::numbered;
using kel::test::zone_options;
using action = std::function<void(engine_fixture&)>;

class settled_pairs_test : public ::testing::Test {
protected:
    static constexpr int tags = 24;
    static constexpr int carriers = 2;

    settled_pairs_test() {
        for (engine_fixture* e : {&m_skipping, &m_reference})
            build_site(*e);
    }

    // Two sublocations and two projects, rooms and keep-in zones with every
    // kind of rule, and carriers with a keep-in circle among their tiers.
    static void build_site(engine_fixture& e) {
        std::mt19937 random(11);
        std::uniform_int_distribution<int> corner(0, 16000);
        for (int i = 0; i < 12; ++i) {
            zone_options o;
            o.sublocation = i % 3 == 0 ? "sl02" : "sl01";
            o.type = i % 2 == 0 ? "keep_in" : "room";
            o.project = i % 5 == 4 ? "prj2" : "prj1";
            o.default_allowed = i % 4 == 1;
            if (i % 3 == 1)
                o.exceptions = {numbered('t', i), numbered('t', i + 1)};
            if (i % 4 == 2)
                o.groups = {"grpA"};
            const int x = corner(random);
            const int y = corner(random);
            e.rectangle(numbered(o.type == "room" ? 'r' : 'k', i), x, y, x + 4000, y + 3000, o);
        }
        for (int i = 0; i < tags; ++i)
            e.object(numbered('t', i), i % 4 == 3 ? "sl02" : "sl01", i % 7 == 6 ? "prj2" : "prj1",
                     i % 5 == 0 ? std::set<std::string>{"grpA"} : std::set<std::string>{});
        for (int i = 0; i < carriers; ++i) {
            const auto carrier = numbered('v', i);
            e.object(carrier);
            zone_options keep;
            keep.type = "keep_in";
            e.circle(numbered('c', 2 * i), carrier, 1000);
            e.circle(numbered('c', 2 * i + 1), carrier, 2500, i == 1 ? keep : zone_options{});
            e.move(carrier, 8000, 8000);
        }
    }

    // Mostly small steps, as tags walk; now and then something else changes.
    action next_action() {
        const auto tag = numbered('t', pick(tags));
        const int roll = pick(100);
        if (roll < 70) {
            const auto walker = roll < 10 ? numbered('v', pick(carriers)) : tag;
            const int dx = pick(1200) - 600;
            const int dy = pick(1200) - 600;
            return [walker, dx, dy](engine_fixture& e) {
                e.change_object(walker, [&](kel::context::trackable_object& o) {
                    const auto p = o.get_position().value_or(kel::context::point(8000, 8000, 0));
                    o.set_position(kel::context::point(p.get_x() + dx, p.get_y() + dy, 0));
                });
            };
        }
        if (roll < 75) {
            const int x = pick(20000), y = pick(20000);
            return [tag, x, y](engine_fixture& e) { e.move(tag, x, y); };
        }
        if (roll < 80) {
            const int which = pick(4);
            return [tag, which](engine_fixture& e) {
                const char* sublocations[] = {"sl01", "sl02", "sl03", nullptr};
                e.set_sublocation(tag, sublocations[which] ? boost::optional<std::string>(sublocations[which])
                                                           : boost::none);
            };
        }
        if (roll < 84) {
            const int which = pick(3);
            return [tag, which](engine_fixture& e) {
                e.change_object(tag, [&](kel::context::trackable_object& o) {
                    if (which == 0)
                        o.set_responsive(!o.get_responsive());
                    else if (which == 1 && o.get_groups().empty())
                        o.get_groups().insert("grpA");  // in place, as membership notifications do
                    else if (which == 1)
                        o.set_groups({});
                    else
                        o.set_position(boost::none);
                });
            };
        }
        if (roll < 87) {
            const auto carrier = numbered('v', pick(carriers));
            return [carrier](engine_fixture& e) {
                e.change_object(carrier, [](kel::context::trackable_object& o) { o.set_associated(!o.get_associated()); });
            };
        }
        if (roll < 94) {
            const int i = pick(12);
            const auto uid = numbered(i % 2 == 0 ? 'k' : 'r', i);
            const int which = pick(4);
            return [uid, which](engine_fixture& e) {
                e.change_zone(uid, [&](kel::context::zone& z) {
                    if (which == 0)
                        z.set_active(!z.get_active());
                    else if (which == 1)
                        z.set_default_allowed(!z.get_default_allowed());
                    else if (which == 2)
                        z.set_type_name(z.is_keep_in() ? "room" : "keep_in");
                    else
                        z.set_exceptions(z.get_exceptions().empty() ? std::set<std::string>{"t001", "t005"}
                                                                    : std::set<std::string>{});
                });
            };
        }
        if (roll < 97) {
            return [tag](engine_fixture& e) {
                e.delete_object(tag);
                e.object(tag, "sl01");
            };
        }
        // Without its carrier, a carried zone lets in whom the carrier's
        // state kept out; it comes back unassociated.
        const auto carrier = numbered('v', pick(carriers));
        const bool gone_for_a_while = pick(2) == 0;
        return [carrier, gone_for_a_while](engine_fixture& e) {
            if (!e.m_context.get_trackable_objects().is_exists(carrier)) {
                e.object(carrier);
                e.move(carrier, 8000, 8000);
                return;
            }
            e.delete_object(carrier);
            if (gone_for_a_while)
                return;
            e.object(carrier);
            e.change_object(carrier, [](kel::context::trackable_object& o) { o.set_associated(false); });
            e.move(carrier, 8000, 8000);
        };
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    static void forget_settled_pairs(engine_fixture& e) {
        e.object("zzzz", "slZZ", "prjZ");
        e.delete_object("zzzz");
    }

    std::mt19937 m_random{2024};
    engine_fixture m_skipping;
    engine_fixture m_reference;
};

TEST_F(settled_pairs_test, skipping_settled_keep_in_pairs_decides_exactly_as_evaluating_them_all) {
    std::size_t events = 0;
    for (int step = 0; step < 6000; ++step) {
        const action a = next_action();
        a(m_skipping);
        forget_settled_pairs(m_reference);
        a(m_reference);
        const auto decided = m_skipping.events();
        ASSERT_EQ(decided, m_reference.events()) << "step " << step;
        events += decided.size();
    }
    EXPECT_EQ(m_skipping.m_save_restore.m_stored, m_reference.m_save_restore.m_stored);
    EXPECT_GT(events, 300u) << "the story should make plenty of events";
}

}  // namespace
