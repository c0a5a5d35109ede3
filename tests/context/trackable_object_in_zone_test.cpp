#include "context/trackable_object_in_zone.h"

#include "context/context.h"
#include "context/trackable_object.h"
#include "context/zone.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <type_traits>

namespace {

using kel::parse_uid;
using kel::context::trackable_object;
using kel::context::trackable_object_in_zone;
using kel::context::trackable_object_in_zone_uid;
using kel::context::zone;

static_assert(!std::is_copy_constructible<trackable_object_in_zone>::value,
              "trackable objects in zones are moved into their map, never copied");

// 22-character uids that decode to different words.
const std::string uid_a = "AAAAAAAAAAAAAAAAAAAAAA";
const std::string uid_b = "BBBBBBBBBBBBBBBBBBBBBB";

trackable_object object(const std::string& uid) {
    return trackable_object(uid, parse_uid(uid), "project", true, true, boost::none, boost::none, {});
}

zone zone_with(const std::string& uid) {
    return zone(uid, boost::none, "project", boost::none, boost::none, boost::none, true, zone::shape::POLYGON,
                "restricted", false, {}, {});
}

trackable_object_in_zone record(const std::string& object_uid, const std::string& zone_uid) {
    return trackable_object_in_zone(trackable_object_in_zone::make_uid(parse_uid(object_uid), zone_uid), object_uid,
                                    zone_uid, "project", "floor", "restricted");
}

TEST(trackable_object_in_zone_test, key_is_the_object_words_then_the_zone_words) {
    const auto key = trackable_object_in_zone::make_uid(object(uid_a), zone_with(uid_b));
    const auto a = parse_uid(uid_a);
    const auto b = parse_uid(uid_b);
    EXPECT_EQ(key, (trackable_object_in_zone_uid{a[0], a[1], b[0], b[1]}));
    EXPECT_EQ(key, trackable_object_in_zone::make_uid(a, uid_b));
}

TEST(trackable_object_in_zone_test, a_in_b_and_b_in_a_are_different_keys) {
    kel::context::trackable_objects_in_zones records;
    records.emplace(trackable_object_in_zone::make_uid(parse_uid(uid_a), uid_b), record(uid_a, uid_b));
    records.emplace(trackable_object_in_zone::make_uid(parse_uid(uid_b), uid_a), record(uid_b, uid_a));
    EXPECT_EQ(records.size(), 2u);
    EXPECT_EQ(records.at(trackable_object_in_zone::make_uid(parse_uid(uid_b), uid_a)).get_zone_uid(), uid_a);
}

TEST(trackable_object_in_zone_test, keys_differing_in_any_word_are_different) {
    kel::context::trackable_objects_in_zones records;
    for (std::size_t word = 0; word < 4; ++word) {
        trackable_object_in_zone_uid key{1u, 1u, 1u, 1u};
        key[word] = 2u;
        records.emplace(key, record(uid_a, uid_b));
    }
    EXPECT_EQ(records.size(), 4u);
}

TEST(trackable_object_in_zone_test, clear_resets_the_four_flags_and_nothing_else) {
    trackable_object_in_zone r = record(uid_a, uid_b);
    r.set_in_zone(true);
    r.set_event_generated(true);
    r.set_leave_generated(true);
    r.set_in_debouncing_state(true);
    r.clear();
    EXPECT_FALSE(r.is_in_zone() || r.is_event_generated() || r.is_leave_generated() || r.is_in_debouncing_state());
    EXPECT_EQ(r.get_trackable_object_uid(), uid_a);
    EXPECT_EQ(r.get_zone_uid(), uid_b);
    EXPECT_EQ(r.get_project_uid(), "project");
    EXPECT_EQ(r.get_sublocation_uid(), "floor");
    EXPECT_EQ(r.get_zone_type_name(), "restricted");
}

TEST(trackable_object_in_zone_test, log_form_names_object_and_zone) {
    std::ostringstream os;
    os << record("tag", "area");
    EXPECT_EQ(os.str(), "trackable_object_in_zone{ tr: tag, zone: area}");
}

}  // namespace

// Records share the texts they report: a text is held once however many
// records report it, outlives the moves of its records, and goes with the
// last of them.
TEST(trackable_object_in_zone_test, records_share_their_texts_until_the_last_one_goes) {
    const auto held_before = kel::context::interned_text::pool_size();
    {
        kel::context::trackable_objects_in_zones records;
        records.emplace(trackable_object_in_zone::make_uid(parse_uid(uid_a), uid_b), record(uid_a, uid_b));
        const auto held_by_one = kel::context::interned_text::pool_size();
        records.emplace(trackable_object_in_zone::make_uid(parse_uid(uid_b), uid_a), record(uid_b, uid_a));
        EXPECT_EQ(kel::context::interned_text::pool_size(), held_by_one) << "the same five texts";
        records.rehash(1024);
        records.erase(trackable_object_in_zone::make_uid(parse_uid(uid_a), uid_b));
        const auto& left = records.begin()->second;
        EXPECT_EQ(left.get_trackable_object_uid(), uid_b);
        EXPECT_EQ(left.get_zone_uid(), uid_a);
        EXPECT_EQ(left.get_project_uid(), "project");
        EXPECT_EQ(left.get_sublocation_uid(), "floor");
        EXPECT_EQ(left.get_zone_type_name(), "restricted");
        EXPECT_EQ(kel::context::interned_text::pool_size(), held_by_one);
    }
    EXPECT_EQ(kel::context::interned_text::pool_size(), held_before);
}
