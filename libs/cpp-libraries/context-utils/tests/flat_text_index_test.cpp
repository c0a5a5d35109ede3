#include <context_utils/flat_text_index.h>

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <random>
#include <string>

namespace {

using texts = std::map<std::string, int>;
using entry = texts::iterator;

struct key_of_entry {
    const std::string& operator()(entry e) const { return e->first; }
};
using index = kel::libs::context_utils::flat_text_index<entry, key_of_entry>;

// Random inserts and erases of ever new keys, about `keys` of them filed at
// a time, checked against the map after every step: with a few, runs of
// slots wrap around the end of a small table again and again; with a few
// hundred, the index grows through several sizes. A key left unreachable by
// an erase's shift, or found after its erase, shows at once.
class flat_text_index : public ::testing::TestWithParam<std::size_t> {};

TEST_P(flat_text_index, finds_exactly_what_is_filed_through_growth_and_erasure) {
    const std::size_t keys = GetParam();
    std::mt19937 random(7);
    texts stored;
    index filed;
    const auto check_all = [&] {
        for (auto e = stored.begin(); e != stored.end(); ++e) {
            const entry* found = filed.find(e->first);
            ASSERT_TRUE(found && *found == e) << e->first;
        }
    };
    for (int step = 0; step < 20000; ++step) {
        const std::string key = "uid-" + std::to_string(random());
        if (stored.size() < keys && random() % 2 == 0) {
            if (stored.count(key) == 0)
                filed.insert(stored.emplace(key, step).first);
            ASSERT_TRUE(filed.find(key));
        } else if (!stored.empty()) {
            auto victim = stored.begin();
            std::advance(victim, random() % stored.size());
            const std::string erased = victim->first;
            filed.erase(erased);
            stored.erase(victim);
            ASSERT_EQ(filed.find(erased), nullptr) << erased;
        }
        ASSERT_EQ(filed.size(), stored.size());
        ASSERT_EQ(filed.find(key) != nullptr, stored.count(key) == 1);
        if (keys < 20 || step % 100 == 0)
            check_all();
    }
    filed.erase("absent");
    EXPECT_EQ(filed.size(), stored.size());
}

INSTANTIATE_TEST_SUITE_P(keys, flat_text_index, ::testing::Values<std::size_t>(7, 12, 400));

}  // namespace
