#include "context/trackable_object_in_zone.h"

#include "context/context.h"
#include "context/trackable_object.h"
#include "context/zone.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kel::parse_uid;
using kel::context::trackable_object_in_zone;
using kel::context::trackable_object_in_zone_uid;

// 22-character uids that decode to different words.
const std::string uid_a = "AAAAAAAAAAAAAAAAAAAAAA";
const std::string uid_b = "BBBBBBBBBBBBBBBBBBBBBB";

// a-in-b and b-in-a must not share a record.
TEST(trackable_object_in_zone_test, key_is_the_object_words_then_the_zone_words) {
    const kel::context::trackable_object object(uid_a, parse_uid(uid_a), "project", true, true, boost::none,
                                                boost::none, {});
    const kel::context::zone zone(uid_b, boost::none, "project", boost::none, boost::none, boost::none, true,
                                  kel::context::zone::shape::POLYGON, "restricted", false, {}, {});
    const auto key = trackable_object_in_zone::make_uid(object, zone);
    const auto a = parse_uid(uid_a);
    const auto b = parse_uid(uid_b);
    EXPECT_EQ(key, (trackable_object_in_zone_uid{a[0], a[1], b[0], b[1]}));
    EXPECT_EQ(key, trackable_object_in_zone::make_uid(a, uid_b));
}

trackable_object_in_zone record(const std::string& object_uid, const std::string& zone_uid) {
    return trackable_object_in_zone(trackable_object_in_zone::make_uid(parse_uid(object_uid), zone_uid), object_uid,
                                    zone_uid, "project", "floor", "restricted");
}

// Records share the texts they report: a text is held once however many
// records report it, outlives the moves of its records, and goes with the
// last of them.
TEST(trackable_object_in_zone_test, records_share_their_texts_until_the_last_one_goes) {
    const auto held_before = kel::context::interned_text::pool_size();
    {
        kel::context::trackable_objects_in_zones::map_type records;
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

// Equal texts are one copy, so holders compare by it without reading text.
TEST(trackable_object_in_zone_test, equal_texts_are_the_same_text_for_every_holder) {
    using kel::context::interned_text;
    const interned_text a(uid_a);
    const std::string copy(uid_a);
    EXPECT_TRUE(a.same_text(interned_text(copy)));
    EXPECT_FALSE(a.same_text(interned_text(uid_b)));
    EXPECT_TRUE(interned_text().same_text(interned_text("")));
    EXPECT_FALSE(a.same_text(interned_text()));
}

}  // namespace
