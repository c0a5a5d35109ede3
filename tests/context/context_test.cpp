#include "context/writable_context.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

using kel::context::context;
using kel::context::writable_context;

static_assert(!std::is_copy_constructible<context>::value && !std::is_move_constructible<context>::value,
              "handles and subscriptions refer into the context, which therefore stays put");
static_assert(std::has_virtual_destructor<context>::value && std::has_virtual_destructor<writable_context>::value,
              "contexts are owned through the base");

TEST(context_test, writes_through_the_writable_face_are_seen_through_the_read_only_one) {
    writable_context writable;
    const context& model = writable;
    EXPECT_FALSE(model.get_trackable_objects().is_exists("tag"));

    writable.take_trackable_objects().add(
        kel::context::trackable_object("tag", kel::parse_uid("tag"), "project", true, true, boost::none,
                                       boost::none, {}),
        kel::libs::core::timestamp());
    writable.take_zones().add(kel::context::zone("z", boost::none, "project", boost::none, boost::none, boost::none,
                                                 true, kel::context::shape::POLYGON, "keep_in", true, {}, {}),
                              kel::libs::core::timestamp());

    EXPECT_TRUE(model.get_trackable_objects().is_exists("tag"));
    EXPECT_TRUE(model.get_zones().get("z").is_keep_in());
}

}  // namespace
