#include "context/trackable_object.h"

#include <gtest/gtest.h>

#include <sstream>
#include <type_traits>

namespace {

using kel::context::point;
using kel::context::trackable_object;

static_assert(!std::is_copy_constructible<trackable_object>::value &&
                  !std::is_copy_assignable<trackable_object>::value,
              "trackable objects are moved into their store, never copied");
static_assert(std::is_move_constructible<trackable_object>::value, "trackable objects are moved into their store");

trackable_object object_at(boost::optional<point> position) {
    return trackable_object("tag", kel::parse_uid("tag"), "project", true, true, position, boost::none, {});
}

TEST(trackable_object_test, last_position_starts_absent_and_is_present_once_set) {
    trackable_object o = object_at(point(1, 2, 3));
    EXPECT_FALSE(o.get_last_position());
    o.set_last_position(point(1, 2, 3));
    ASSERT_TRUE(o.get_last_position());
    EXPECT_EQ(*o.get_last_position(), point(1, 2, 3));
    EXPECT_EQ(*o.get_position(), point(1, 2, 3));
}

TEST(trackable_object_test, an_empty_position_forgets_the_current_one) {
    trackable_object o = object_at(point(1, 2, 3));
    o.set_position(boost::none);
    EXPECT_FALSE(o.get_position());
}

TEST(trackable_object_test, log_form_names_the_uid) {
    std::ostringstream os;
    os << object_at(boost::none);
    EXPECT_EQ(os.str(), "trackable_object{ tag}");
}

}  // namespace
