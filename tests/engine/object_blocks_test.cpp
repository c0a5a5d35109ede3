#include "object_blocks.h"

#include "globals.h"

#include <gtest/gtest.h>

namespace {

kel::context::trackable_object tag(const std::string& uid) {
    return kel::context::trackable_object(uid, kel::parse_uid(uid), "prj1", true, true, boost::none, boost::none, {});
}

// The hint an object carries may come from anywhere (a replacement moved in,
// a place since given to another uid): the block found is always its own.
TEST(object_blocks, an_object_finds_its_own_block_whatever_hint_it_carries) {
    kel::object_blocks blocks;
    const auto a = tag("AAAAAAAAAAAAAAAAAAAAAA");
    const auto b = tag("BBBBBBBBBBBBBBBBBBBBBB");
    blocks.of(a).keep_in.project = "a's";
    blocks.of(b).keep_in.project = "b's";

    const auto replacement = tag("AAAAAAAAAAAAAAAAAAAAAA");
    replacement.set_block_hint(b.get_block_hint());
    EXPECT_EQ(blocks.of(replacement).keep_in.project, "a's");
    EXPECT_EQ(&blocks.of(replacement), &blocks.of(a));

    // a's place goes to c; an object still pointing there gets a block of
    // its own uid, and c keeps its own.
    const auto stale_hint = a.get_block_hint();
    blocks.erase(a.get_uid_bytes());
    const auto c = tag("CCCCCCCCCCCCCCCCCCCCCC");
    blocks.of(c).keep_in.project = "c's";
    EXPECT_EQ(c.get_block_hint(), stale_hint);
    EXPECT_EQ(blocks.find(a), nullptr);
    EXPECT_EQ(blocks.of(a).keep_in.project, "");
    EXPECT_EQ(blocks.of(c).keep_in.project, "c's");
}

TEST(object_blocks, a_block_stays_where_it_is_while_others_are_added) {
    kel::object_blocks blocks;
    const auto first = tag("AAAAAAAAAAAAAAAAAAAAAA");
    kel::object_block* held = &blocks.of(first);
    held->cell = 42;
    for (int i = 0; i < 5000; ++i)
        blocks.of(kel::uid{static_cast<std::uint64_t>(i) + 1, 7});
    EXPECT_EQ(&blocks.of(first), held);
    EXPECT_EQ(held->cell, 42u);
}

}  // namespace
