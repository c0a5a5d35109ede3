#include "engine_fixture.h"

#include "core/exception.h"

#include <gtest/gtest.h>

namespace {

using strings = std::vector<std::string>;
using kel::test::of_type;
using kel::test::zone_options;

// Zones of type "hall" are ignored.
class events_generator_test : public ::testing::Test, public kel::test::engine_fixture {
protected:
    events_generator_test() : engine_fixture({"hall"}) {}
};

TEST_F(events_generator_test, crossing_back_within_the_footprint_keeps_the_enter) {
    rectangle("room", 0, 0, 10000, 10000);
    object("tagA");
    move("tagA", -1000, 5000);
    EXPECT_EQ(events(), strings{});
    move("tagA", 50, 5000);
    EXPECT_EQ(events(), strings{"enter tagA room"});
    EXPECT_EQ(stored("tagA", "room"), "IE-D");
    move("tagA", -50, 5000);
    move("tagA", 100, 5000);
    move("tagA", -100, 5000);
    EXPECT_EQ(events(), strings{}) << "the footprint never left the zone wholly";
    move("tagA", -500, 5000);
    EXPECT_EQ(events(), strings{"leave tagA room"});
    EXPECT_EQ(stored("tagA", "room"), "");
}

TEST_F(events_generator_test, settled_inside_leaves_as_soon_as_the_centre_does) {
    rectangle("room", 0, 0, 10000, 10000);
    object("tagA");
    move("tagA", 5000, 5000);
    move("tagA", 6000, 5000);
    EXPECT_EQ(stored("tagA", "room"), "IE--");
    move("tagA", -10, 5000);
    EXPECT_EQ(events(), (strings{"enter tagA room", "leave tagA room"}));
    EXPECT_EQ(stored("tagA", "room"), "---D");
}

TEST_F(events_generator_test, zone_smaller_than_the_footprint_alternates) {
    rectangle("tiny", 0, 0, 100, 100);
    object("tagA");
    for (int i = 0; i < 4; ++i)
        move("tagA", 50, 50);
    EXPECT_EQ(events(), (strings{"enter tagA tiny", "leave tagA tiny", "enter tagA tiny", "leave tagA tiny"}));
}

TEST_F(events_generator_test, concentric_circles_report_only_the_smallest_tier) {
    object("car1");
    circle("cir1", "car1", 1000);
    circle("cir2", "car1", 2000);
    move("car1", 0, 0);
    object("tagA");
    move("tagA", 5000, 0);
    move("tagA", 500, 0);
    EXPECT_EQ(events(), strings{"enter tagA cir1"});
    const int batches = m_sender.m_released_queues;
    move("tagA", 1500, 0);
    EXPECT_EQ(events(), (strings{"leave tagA cir1", "enter tagA cir2"}));
    EXPECT_EQ(m_sender.m_released_queues, batches + 1) << "both decided in one update";
}

// The carrier moves about inside its own circles all along, and never
// enters them.
TEST_F(events_generator_test, circles_follow_their_carrier_which_never_enters_them) {
    object("car1");
    circle("cir1", "car1", 1000);
    move("car1", 0, 0);
    move("car1", 10, 0);
    object("tagA");
    move("tagA", 10000, 0);
    EXPECT_EQ(events(), strings{});
    move("car1", 9500, 0);
    EXPECT_EQ(events(), strings{"enter tagA cir1"});
    move("car1", 0, 0);
    EXPECT_EQ(events(), strings{"leave tagA cir1"});
    circle("cir2", "car1", 3000);
    move("car1", 8000, 0);
    EXPECT_EQ(events(), strings{"enter tagA cir2"}) << "a tier added after the carrier's moves follows it too";
    delete_zone("cir2");
    EXPECT_EQ(events(), strings{"leave tagA cir2"});
    move("car1", 9500, 0);
    EXPECT_EQ(events(), strings{"enter tagA cir1"}) << "the tiers left after a deletion follow it";
    delete_object("car1");
    move("tagA", 10010, 0);
    move("tagA", 10020, 0);
    EXPECT_EQ(events(), strings{"leave tagA cir1"}) << "a circle without its carrier holds nothing";
    object("car1");
    move("car1", 9500, 0);
    EXPECT_EQ(events(), strings{"enter tagA cir1"}) << "a carrier of the same uid takes its circles along";
}

TEST_F(events_generator_test, exceptions_by_uid_and_group_follow_the_default_rule) {
    zone_options only_listed;
    only_listed.default_allowed = true;
    only_listed.exceptions = {"tagA"};
    only_listed.groups = {"grp1"};
    rectangle("lstd", 0, 0, 10000, 10000, only_listed);
    zone_options all_but_listed = only_listed;
    all_but_listed.default_allowed = false;
    rectangle("open", 20000, 0, 30000, 10000, all_but_listed);
    object("tagA");
    object("tagB");
    object("tagC", "sl01", "prj1", {"grp1"});
    for (const char* tag : {"tagA", "tagB", "tagC"})
        move(tag, 5000, 5000);
    EXPECT_EQ(events(), (strings{"enter tagA lstd", "enter tagC lstd"}));
    for (const char* tag : {"tagA", "tagB", "tagC"})
        move(tag, 25000, 5000);
    EXPECT_EQ(events(), (strings{"leave tagA lstd", "enter tagB open", "leave tagC lstd"}));
}

TEST_F(events_generator_test, ignored_type_gives_no_events_and_owes_the_leave_when_it_becomes_ignored) {
    rectangle("hall", 0, 0, 10000, 10000, of_type("hall"));
    rectangle("room", 20000, 0, 30000, 10000);
    object("tagA");
    move("tagA", 5000, 5000);
    EXPECT_EQ(events(), strings{});
    move("tagA", 25000, 5000);
    EXPECT_EQ(events(), strings{"enter tagA room"});
    change_zone("room", [](kel::context::zone& z) { z.set_type_name("hall"); });
    EXPECT_EQ(events(), strings{"leave tagA room"});
}

// A zone that stops being keep-in keeps the object's "leave sent" record;
// the object reaching that zone's area on another floor clears it, as any
// zone of another floor holding its record is cleared.
TEST_F(events_generator_test, keep_in_zone_reports_one_leave_for_an_object_seen_outside_and_its_record_goes_elsewhere) {
    rectangle("kpin", 0, 0, 10000, 10000, of_type("keep_in"));
    object("tagA");
    move("tagA", 50000, 50000);
    move("tagA", 50100, 50000);
    EXPECT_EQ(events(), strings{"leave tagA kpin"});
    EXPECT_EQ(stored("tagA", "kpin"), "--L-");
    move("tagA", 5000, 5000);
    move("tagA", 5100, 5000);
    move("tagA", 50000, 5000);
    EXPECT_EQ(events(), (strings{"enter tagA kpin", "leave tagA kpin"}));
    move("tagA", 50100, 5000);
    change_zone("kpin", [](kel::context::zone& z) { z.set_type_name("room"); });
    EXPECT_EQ(stored("tagA", "kpin"), "--L-");
    set_sublocation("tagA", std::string("sl02"));
    move("tagA", 5000, 5000);
    EXPECT_EQ(events(), strings{});
    EXPECT_FALSE(has_record("tagA", "kpin"));
    EXPECT_EQ(stored("tagA", "kpin"), "");
}

// A zone change that fails half-way leaves the objects after the failure
// undecided; their next positions must not take their keep-in pairs for
// settled.
TEST_F(events_generator_test, keep_in_pairs_left_undecided_by_a_failed_zone_change_are_decided_next) {
    auto allowed = of_type("keep_in");
    allowed.default_allowed = true;
    rectangle("kpin", 0, 0, 10000, 10000, allowed);
    for (const char* tag : {"tagA", "tagB"}) {
        object(tag);
        move(tag, 50000, 50000);
        move(tag, 50100, 50000);
    }
    EXPECT_EQ(events(), strings{}) << "allowed anywhere";
    m_save_restore.m_fail_save = "tagA-kpin";
    EXPECT_THROW(change_zone("kpin", [](kel::context::zone& z) { z.set_default_allowed(false); }),
                 std::runtime_error);
    EXPECT_EQ(events(), strings{"leave tagA kpin"}) << "tagB was never reached";
    move("tagB", 50200, 50000);
    EXPECT_EQ(events(), strings{"leave tagB kpin"});
}

TEST_F(events_generator_test, keep_in_zone_of_another_sublocation_or_project) {
    rectangle("kpin", 0, 0, 10000, 10000, of_type("keep_in"));
    object("tagA", "sl02");
    object("tagB", "sl01", "prj2");
    move("tagA", 5000, 5000);
    move("tagB", 5000, 5000);
    EXPECT_EQ(events(), strings{"leave tagA kpin"}) << "another sublocation is outside; another project is ignored";
    EXPECT_FALSE(has_record("tagB", "kpin"));
    move("tagA", 5100, 5000);
    EXPECT_EQ(events(), strings{});
}

TEST_F(events_generator_test, keep_in_zone_turned_ordinary_still_sends_the_leave_it_owes) {
    rectangle("kpin", 0, 0, 10000, 10000, of_type("keep_in"));
    object("tagA");
    move("tagA", 5000, 5000);
    move("tagA", 5100, 5000);
    EXPECT_EQ(events(), strings{"enter tagA kpin"});
    EXPECT_EQ(stored("tagA", "kpin"), "IE--") << "settled inside before the change";
    change_zone("kpin", [](kel::context::zone& z) { z.set_type_name("room"); });
    move("tagA", 50000, 50000);
    EXPECT_EQ(events(), strings{"leave tagA kpin"});
}

// An object without a floor is in no zone: it holds no record there, and
// losing its floor settles what it held at once.
TEST_F(events_generator_test, changing_or_losing_the_floor_leaves_the_zones_of_the_old_one) {
    rectangle("down", 0, 0, 10000, 10000);
    rectangle("upst", 0, 0, 10000, 10000, of_type("room", "sl02"));
    object("tagA", "");
    move("tagA", 5000, 5000);
    EXPECT_FALSE(has_record("tagA", "down"));
    set_sublocation("tagA", std::string("sl01"));
    move("tagA", 5100, 5000);
    EXPECT_EQ(events(), strings{"enter tagA down"});
    set_sublocation("tagA", std::string("sl02"));
    move("tagA", 5000, 5000);
    EXPECT_EQ(events(), (strings{"leave tagA down", "enter tagA upst"}));
    EXPECT_EQ(stored("tagA", "down"), "");
    set_sublocation("tagA", boost::none);
    EXPECT_EQ(events(), strings{"leave tagA upst"});
    EXPECT_FALSE(has_record("tagA", "upst"));
    EXPECT_EQ(stored("tagA", "upst"), "");
}

TEST_F(events_generator_test, deactivating_or_deleting_a_zone_or_deleting_an_object_settles_outstanding_enters) {
    rectangle("roma", 0, 0, 10000, 10000);
    rectangle("romb", 5000, 0, 15000, 10000);
    rectangle("romc", 6000, 0, 8000, 10000);
    object("tagA");
    object("tagB");
    move("tagA", 7000, 5000);
    move("tagB", 7000, 5000);
    EXPECT_EQ(events().size(), 6u);
    change_zone("romc", [](kel::context::zone& z) { z.set_active(false); });
    EXPECT_EQ(events(), (strings{"leave tagA romc", "leave tagB romc"}));
    delete_zone("roma");
    EXPECT_EQ(events(), (strings{"leave tagA roma", "leave tagB roma"}));
    EXPECT_FALSE(has_record("tagA", "roma"));
    delete_object("tagB");
    EXPECT_EQ(events(), strings{"leave tagB romb"});
    EXPECT_FALSE(has_record("tagB", "romb"));
    EXPECT_EQ(stored("tagB", "romb"), "");
    move("tagA", 7100, 5000);
    EXPECT_EQ(events(), strings{}) << "no stale reference to the deleted zone";
}

TEST_F(events_generator_test, unknown_first_tier_fails_after_the_objects_own_events_were_released) {
    rectangle("room", 0, 0, 10000, 10000);
    object("car1");
    m_context.take_multi_tiered_zones().add(kel::context::multi_tiered_zone("car1", "gone"), now());
    EXPECT_THROW(move("car1", 5000, 5000), kel::libs::core::exception);
    EXPECT_EQ(events(), strings{"enter car1 room"});
}

// An observer ahead of the generator that fails keeps a move from it; the
// object is still where the repository says, and a zone made there must
// find it, as a visit of every object would.
TEST_F(events_generator_test, a_move_the_generator_never_heard_of_is_seen_by_the_next_zone_change) {
    struct failing_observer : kel::libs::context_utils::objects_repository<kel::context::trackable_object>::observer {
        void after_updating(const kel::context::trackable_object&, kel::libs::core::timestamp) override {
            throw std::runtime_error("mirror down");
        }
    } failing;
    object("tagA");
    move("tagA", 100, 100);
    m_generator.reset();
    {
        const auto ahead = m_context.get_trackable_objects().subscribe(failing);
        m_generator = std::make_unique<kel::events_generator>(m_context, m_save_restore, m_sender, m_index, m_logger,
                                                              std::set<std::string>{});
        EXPECT_THROW(move("tagA", 5000, 5000), std::runtime_error);
    }
    rectangle("room", 4000, 4000, 6000, 6000);
    EXPECT_EQ(events(), strings{"enter tagA room"});
}

TEST_F(events_generator_test, every_change_is_saved_and_related_zones_follow_the_saves) {
    rectangle("room", 0, 0, 10000, 10000);
    object("tagA");
    move("tagA", 5000, 5000);
    const auto& tag = m_context.get_trackable_objects().get("tagA");
    EXPECT_EQ(m_index.get_related_zones(tag).size(), 1u);
    move("tagA", 5100, 5000);
    move("tagA", 50000, 5000);
    EXPECT_EQ(m_index.get_related_zones(tag).size(), 1u) << "debouncing after the leave";
    move("tagA", 50100, 5000);
    EXPECT_EQ(m_index.get_related_zones(tag).size(), 0u) << "outside and settled: no longer in play";
}

}  // namespace
