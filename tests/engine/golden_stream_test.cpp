// A seeded stream of positions and zone changes over a small site, whose
// events and final persisted records must match the recorded ones exactly.
// The recording was made by the plain engine before any tuning for speed;
// every later change to the engine must keep this test green. Set
// QUORVANE_RECORD_GOLDEN=1 to record anew (and say why in the commit).
#include "engine_fixture.h"

#include "support/golden.h"
#include "support/seeded.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

using kel::test::zone_options;

// What a recorded stream is made of.
struct scenario {
    std::string golden;
    int tags = 8;
    int carriers = 2;
    int steps = 4000;
    int area = 9000;
    // Makes the outer circle of the last carrier a keep-in zone.
    bool keep_in_circle = false;
};

using kel::test::seeded;

class golden_stream : public ::testing::Test, public kel::test::engine_fixture {
protected:
    golden_stream() : engine_fixture({"ignr"}) {}

    static std::string name(char kind, int n) {
        return std::string(1, kind) + static_cast<char>('a' + n / 26) + static_cast<char>('a' + n % 26) + "x";
    }

    void build_site(const scenario& sc) {
        for (int i = 0; i < 12; ++i) {
            zone_options o;
            o.sublocation = i % 3 == 0 ? "sl02" : "sl01";
            o.type = i % 5 == 0 ? "ignr" : "room";
            o.default_allowed = i % 4 == 0;
            o.exceptions = {name('t', i % 7), name('t', (i + 3) % 7)};
            o.groups = {i % 2 ? "grp1" : "grp2"};
            const int x = m_random.between(0, 5000), y = m_random.between(0, 5000);
            // Apart, so that every compiler draws them in the order the
            // recording was made with: the height first.
            const int height = m_random.between(150, 3500);
            const int width = m_random.between(150, 3500);
            rectangle(name('z', i), x, y, x + width, y + height, o);
        }
        for (int i = 0; i < 3; ++i) {
            zone_options keep;
            keep.type = "keep_in";
            keep.sublocation = i == 2 ? "sl02" : "sl01";
            keep.project = i == 1 ? "prj2" : "prj1";
            rectangle(name('k', i), 1000 * i, 1000 * i, 1000 * i + 5000, 1000 * i + 5000, keep);
        }
        for (int i = 0; i < sc.tags; ++i)
            object(name('t', i), i == 7 ? "sl02" : "sl01", i == 6 ? "prj2" : "prj1",
                   {i % 3 ? "grp1" : "grp2"});
        for (int c = 0; c < sc.carriers; ++c) {
            const auto carrier = name('t', c);
            circle(name('c', 2 * c), carrier, 600);
            zone_options outer;
            if (sc.keep_in_circle && c == sc.carriers - 1)
                outer.type = "keep_in";
            circle(name('c', 2 * c + 1), carrier, 1400, outer);
        }
    }

    void step(const scenario& sc) {
        const int what = m_random.below(100);
        const auto tag = name('t', m_random.below(sc.tags));
        if (what < 85) {
            const auto& o = m_context.get_trackable_objects().get(tag);
            const auto p = o.get_position();
            const int x = p ? std::clamp(p->get_x() + m_random.between(-500, 500), -1000, sc.area)
                            : m_random.between(0, sc.area - 1000);
            const int y = p ? std::clamp(p->get_y() + m_random.between(-500, 500), -1000, sc.area)
                            : m_random.between(0, sc.area - 1000);
            move(tag, x, y);
        } else if (what < 89) {
            set_sublocation(tag, m_random.below(4) ? boost::optional<std::string>(m_random.below(2) ? "sl01" : "sl02")
                                                   : boost::none);
        } else if (what < 93) {
            const auto zone = name('z', m_random.below(12));
            const bool active = m_random.below(2);
            change_zone(zone, [&](kel::context::zone& z) { z.set_active(active); });
        } else if (what < 96) {
            change_object(tag, [&](kel::context::trackable_object& o) { o.set_responsive(m_random.below(3) != 0); });
        } else if (what < 98) {
            const auto zone = name('z', m_random.below(12));
            if (m_context.get_zones().is_exists(zone))
                delete_zone(zone);
        } else {
            const auto zone = name('z', m_random.below(12));
            const auto type = m_random.below(2) ? "ignr" : "room";
            change_zone(zone, [&](kel::context::zone& z) { z.set_type_name(type); });
        }
    }

    std::string transcript(const scenario& sc) {
        std::ostringstream out;
        build_site(sc);
        for (int i = 0; i < sc.steps; ++i) {
            step(sc);
            for (const auto& e : events())
                out << i << " " << e << "\n";
        }
        out << "stored\n";
        for (const auto& [id, flags] : m_save_restore.m_stored)
            out << id << " " << flags << "\n";
        return out.str();
    }

    void check(const scenario& sc) {
        kel::test::expect_golden(std::string(QUORVANE_SOURCE_DIR) + "/tests/engine/golden/" + sc.golden + ".txt",
                                 transcript(sc));
    }

    seeded m_random{20261206};
};

TEST_F(golden_stream, events_and_records_match_the_recording) {
    check({"engine_stream"});
}

// Many tags among several carriers: every carrier move decides which of
// them to evaluate, and one keep-in circle makes every tag count.
TEST_F(golden_stream, crowded_carriers_match_the_recording) {
    scenario sc;
    sc.golden = "crowded_carriers";
    sc.tags = 30;
    sc.carriers = 4;
    sc.steps = 3000;
    sc.area = 5000;
    sc.keep_in_circle = true;
    check(sc);
}

}  // namespace
