#include "globals.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace {

using kel::parse_uid;
using kel::uid;

// Base64 of the bytes 0x00 to 0x0f, padded.
const std::string counting_bytes = "AAECAwQFBgcICQoLDA0ODw==";

TEST(parse_uid_test, bytes_fill_the_words_in_order_each_word_little_endian) {
    EXPECT_EQ(parse_uid(counting_bytes), (uid{0x0706050403020100u, 0x0f0e0d0c0b0a0908u}));
}

TEST(parse_uid_test, both_alphabets_decode_alike) {
    const uid standard = parse_uid("++++////AQIDBAUGBwgJ/g");
    EXPECT_EQ(standard, (uid{0x0201ffffffbeeffbu, 0xfe09080706050403u}));
    EXPECT_EQ(parse_uid("----____AQIDBAUGBwgJ_g"), standard);
}

TEST(parse_uid_test, padded_text_equals_its_first_22_characters) {
    EXPECT_EQ(parse_uid(counting_bytes), parse_uid(counting_bytes.substr(0, 22)));
}

TEST(parse_uid_test, characters_after_the_22nd_are_ignored) {
    EXPECT_EQ(parse_uid(counting_bytes.substr(0, 22) + "zzzzzzzz"), parse_uid(counting_bytes));
}

TEST(parse_uid_test, short_text_leaves_the_remaining_bytes_zero) {
    EXPECT_EQ(parse_uid("AAEC"), (uid{0x020100u, 0u}));
    EXPECT_EQ(parse_uid(""), (uid{0u, 0u}));
}

TEST(parse_uid_test, a_character_outside_both_alphabets_ends_the_decoding) {
    EXPECT_EQ(parse_uid("AAEC*AwQFBgcICQoLDA0ODw"), parse_uid("AAEC"));
    EXPECT_EQ(parse_uid("AAEC=AwQFBgcICQoLDA0ODw"), parse_uid("AAEC"));
}

TEST(is_uid_text_test, takes_exactly_22_characters_of_either_alphabet) {
    EXPECT_TRUE(kel::is_uid_text("AAECAwQFBgcICQoLDA0ODw"));
    EXPECT_TRUE(kel::is_uid_text("AA-_AwQFBgcICQoLDA0ODw"));
    EXPECT_FALSE(kel::is_uid_text("AAECAwQFBgcICQoLDA0ODw=="));
    EXPECT_FALSE(kel::is_uid_text("AAECAwQFBgcICQoLDA0OD"));
    EXPECT_FALSE(kel::is_uid_text("AAECAwQFBgcICQoLDA0O.w"));
}

TEST(uid_hash_test, keys_differing_in_either_word_are_told_apart) {
    std::unordered_set<uid, kel::uid_hash> keys{{1u, 2u}, {2u, 1u}, {1u, 3u}};
    EXPECT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys.count({2u, 1u}), 1u);
}

}  // namespace
