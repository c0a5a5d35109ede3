// Recycled blocks: what a freed node or queue gives back is what the next
// one gets, and nothing is lost when threads end (the sanitized build's
// leak check sees a block that no list nor allocator got back).
#include "free_blocks.h"
#include "recycling_allocator.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using blocks = kel::free_blocks<48, 2>;

TEST(free_blocks, a_given_block_is_taken_again_and_the_surplus_is_freed) {
    void* first = blocks::take();
    void* second = blocks::take();
    void* third = blocks::take();
    blocks::give(first);
    blocks::give(second);
    blocks::give(third);  // beyond what the list keeps
    void* again = blocks::take();
    void* again_too = blocks::take();
    void* fresh = blocks::take();
    EXPECT_EQ(again, second);
    EXPECT_EQ(again_too, first);
    EXPECT_NE(fresh, first);
    EXPECT_NE(fresh, second);
    for (void* block : {again, again_too, fresh})
        blocks::give(block);
}

TEST(free_blocks, blocks_given_back_on_a_thread_that_ends_are_released) {
    std::vector<void*> taken{blocks::take(), blocks::take()};
    std::thread([&] {
        for (void* block : taken)
            blocks::give(block);
        EXPECT_EQ(blocks::take(), taken[1]);
        blocks::give(taken[1]);
    }).join();
}

TEST(recycling_allocator, an_erased_node_serves_the_next_insertion) {
    std::unordered_map<int, int, std::hash<int>, std::equal_to<int>,
                       kel::recycling_allocator<std::pair<const int, int>>>
        map;
    map.reserve(16);
    const int* before = &map.emplace(1, 10).first->second;
    map.erase(1);
    EXPECT_EQ(&map.emplace(2, 20).first->second, before);
    EXPECT_EQ(map.at(2), 20);
}

}  // namespace
